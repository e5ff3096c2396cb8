#include "updater/messages.h"

#include <stdio.h>

#include "updater/product.h"

namespace {

// One row of a language's table: the text when its flag is 0 and when it is 1;
// rows that depend on no flag hold the same text twice. Rows of the product
// (Product's texts) hold nullptr: ProductText gives them.
enum Flag { None, Vexa, Demo };
struct Row {
  Flag flag;
  const char* off;
  const char* on;
};

const Row Dutch[MessageLast - MessageFirst + 1] = {
    /* 4 */ {Demo, "update informatie", "demo informatie"},
    /* 5 */ {None, nullptr, nullptr},
    /* 6 */ {None, nullptr, nullptr},
    /* 7 */ {None, nullptr, nullptr},
    /* 8 */ {None, "", ""},
    /* 9 */ {None, nullptr, nullptr},
    /* 10 */ {None, nullptr, nullptr},
    /* 11 */ {Demo, "Installeer update", "Installeer demo"},
    /* 12 */ {None, "Annuleer", "Annuleer"},
    /* 13 */ {Demo, "De update is aangebracht.", "Installatie succesvol.\nVeel plezier."},
    /* 14 */ {Demo, "Update verslag", "Einde installatie"},
    /* 15 */ {None, nullptr, nullptr},
    /* 16 */ {None, nullptr, nullptr},
    /* 17 */ {None, nullptr, nullptr},
    /* 18 */ {None, "Vexa directory niet gevonden", "Vexa directory niet gevonden"},
    /* 19 */ {None, "Einde programma", "Einde programma"},
    /* 20 */ {None, "Marvik directory niet gevonden", "Marvik directory niet gevonden"},
    /* 21 */ {None, nullptr, nullptr},
    /* 22 */
    {None, "Tijdens de installatie mag er geen\nandere Marvik Software draaien.",
     "Tijdens de installatie mag er geen\nandere Marvik Software draaien."},
    /* 23 */
    {None, "U heeft Vexa versie 2.0 nodig voor deze update.", "U heeft Vexa versie 2.0 nodig voor deze update."},
};

const Row English[MessageLast - MessageFirst + 1] = {
    /* 4 */ {Demo, "update information", "demo information"},
    /* 5 */ {None, nullptr, nullptr},
    /* 6 */ {None, nullptr, nullptr},
    /* 7 */ {None, nullptr, nullptr},
    /* 8 */ {None, "", ""},
    /* 9 */ {None, nullptr, nullptr},
    /* 10 */ {None, nullptr, nullptr},
    /* 11 */ {Demo, "Install update", "Install demo"},
    /* 12 */ {None, "Cancel", "Cancel"},
    /* 13 */ {Demo, "The update has been applied.", "Installation completed."},
    /* 14 */ {Demo, "Update report", "Installation finished"},
    /* 15 */ {None, nullptr, nullptr},
    /* 16 */ {None, nullptr, nullptr},
    /* 17 */ {None, nullptr, nullptr},
    /* 18 */ {None, "Vexa directory not found", "Vexa directory not found"},
    /* 19 */ {None, "Exit program", "Exit program"},
    /* 20 */ {None, "Marvik directory not found", "Marvik directory not found"},
    /* 21 */ {None, "During updating Vexa should not be active.", "During updating Vexa should not be active."},
    /* 22 */
    {None, "During updating no other Marvik Software should be active.",
     "During updating no other Marvik Software should be active."},
    /* 23 */
    {None, "You need Vexa version 2.0 to be able to use this update.",
     "You need Vexa version 2.0 to be able to use this update."},
};

// "The product must not be running" in Dutch, with the product's name (the
// English row names the line and is fixed).
char RunningDutch[ProductNameMax + 64];

// The rows that come from the product data.
const char* ProductText(int number, int dutch) {
  int language = dutch ? 1 : 0;
  switch (number) {
    case 5:
      return Product.name;
    case 6:
      return Product.updateLine[language];
    case 7:
      return Product.versionLine[language];
    case 9:
      return Product.copyright;
    case 10:
      return Product.team[language];
    case 15:
    case 16:
      return Product.mail[language];
    case 17:
      return Product.web[language];
    case 21:
      snprintf(RunningDutch, sizeof RunningDutch, "Tijdens de installatie mag %s niet actief zijn.", Product.name);
      return RunningDutch;
    default:
      return "";
  }
}

}  // namespace

const char* MessageTextFor(int number, int dutch, int vexa, int demo) {
  if (number < MessageFirst || number > MessageLast) return "Unknown";
  const Row& row = (dutch ? Dutch : English)[number - MessageFirst];
  if (!row.off) return ProductText(number, dutch);
  int flag = row.flag == Vexa ? vexa : row.flag == Demo ? demo : 0;
  return flag ? row.on : row.off;
}
