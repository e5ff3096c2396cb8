#include "updater/install_safety.h"

#include <stdio.h>
#include <string.h>

void FormatPreflightRefusal(char* buffer, size_t size, int dutch, int cause, const char* file, const char* why) {
  const char* reason;
  if (cause == SafetyInUse) {
    snprintf(buffer, size,
             dutch ? "Het bestand\n%s\nis in gebruik door een ander programma.\n\nSluit dat programma en kies "
                     "Opnieuw, of kies Annuleren: er is dan niets veranderd."
                   : "The file\n%s\nis in use by another program.\n\nClose that program and choose Retry, or choose "
                     "Cancel: nothing will have been changed.",
             file);
    return;
  }
  switch (cause) {
    case SafetyReadOnly:
      reason = dutch ? "het bestand is alleen-lezen" : "the file is read-only";
      break;
    case SafetyDirectory:
      reason = dutch ? "er staat een map op die plaats" : "a directory is in its place";
      break;
    case SafetyNoSpace:
      reason = dutch ? "te weinig ruimte op de schijf" : "not enough room on the disk";
      break;
    default:
      reason = dutch ? "er kan niet worden geschreven" : "it cannot be written";
      break;
  }
  int detail = why && why[0];
  snprintf(buffer, size,
           dutch ? "De update kan niet worden aangebracht:\n%s\n%s%s%s.\n\nEr is niets veranderd."
                 : "The update cannot be applied:\n%s\n%s%s%s.\n\nNothing was changed.",
           file, reason, detail ? ": " : "", detail ? why : "");
}

const char* RolledBackText(int dutch) {
  return dutch ? "De update is teruggedraaid: de installatie is gebleven zoals ze was."
               : "The update was rolled back: the installation was left as it was.";
}

void FormatRegistryLate(char* buffer, size_t size, int dutch, const char* why, int again) {
  int detail = why && why[0];
  // The system's words end with their own full stop.
  int length = detail ? (int)strlen(why) : 0;
  while (length > 0 && (why[length - 1] == '.' || why[length - 1] == ' ')) length--;
  const char* next = !again  ? ""
                     : dutch ? "\n\nStart dit programma opnieuw om dat af te maken."
                             : "\n\nStart this program again to finish that.";
  snprintf(buffer, size,
           dutch ? "De bestanden zijn bijgewerkt, maar de nieuwe versie kon niet in het register worden "
                   "geschreven%s%.*s.%s"
                 : "The files have been updated, but the new version could not be written to the "
                   "registry%s%.*s.%s",
           detail ? ": " : "", length, detail ? why : "", next);
}

const char* RecoveredText(int dutch, int completed) {
  if (completed) return dutch ? "Een onderbroken update is voltooid." : "An interrupted update has been completed.";
  return dutch ? "Een onderbroken update is ongedaan gemaakt: de installatie is zoals voor die update."
               : "An interrupted update was undone: the installation is as it was before it.";
}
