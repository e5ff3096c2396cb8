#include "updater/messages.h"

#include "updater/product.h"
#include "updater/product_data.h"

const char ProductName[] = PRODUCT_NAME;
const char ProductNewVersion[] = PRODUCT_VERSION;

static_assert(sizeof ProductName - 1 <= ProductNameMax, "product name must fit the registry key path");

namespace {

// One row of a language's table: the text when its flag is 0 and when it is 1;
// rows that depend on no flag hold the same text twice.
enum Flag { None, Vexa, Demo };
struct Row {
  Flag flag;
  const char* off;
  const char* on;
};

const Row Dutch[MessageLast - MessageFirst + 1] = {
    /* 4 */ {Demo, "update informatie", "demo informatie"},
    /* 5 */ {None, PRODUCT_NAME, PRODUCT_NAME},
    /* 6 */ {None, "Update " PRODUCT_NAME " naar", "Update " PRODUCT_NAME " naar"},
    /* 7 */
    {None, "versie " PRODUCT_VERSION " (" PRODUCT_DATE_DUTCH ")",
     "versie " PRODUCT_VERSION " (" PRODUCT_DATE_DUTCH ")"},
    /* 8 */ {None, "", ""},
    /* 9 */ {Vexa, "Copyright " PRODUCT_YEAR " " MARVIK_COMPANY, "Copyright " PRODUCT_YEAR " " VEXA_COMPANY},
    /* 10 */ {Vexa, "ontwikkelling", "het Vexa team"},
    /* 11 */ {Demo, "Installeer update", "Installeer demo"},
    /* 12 */ {None, "Annuleer", "Annuleer"},
    /* 13 */ {Demo, "De update is aangebracht.", "Installatie succesvol.\nVeel plezier."},
    /* 14 */ {Demo, "Update verslag", "Einde installatie"},
    /* 15 */ {None, "E-mail: demo@vexa.test", "E-mail: demo@vexa.test"},
    /* 16 */ {None, "E-mail: doravo@vexa.test", "E-mail: doravo@vexa.test"},
    /* 17 */ {None, "Internet: www.vexa.test", "Internet: www.vexa.test"},
    /* 18 */ {None, "Vexa directory niet gevonden", "Vexa directory niet gevonden"},
    /* 19 */ {None, "Einde programma", "Einde programma"},
    /* 20 */ {None, "Marvik directory niet gevonden", "Marvik directory niet gevonden"},
    /* 21 */
    {None, "Tijdens de installatie mag " PRODUCT_NAME " niet actief zijn.",
     "Tijdens de installatie mag " PRODUCT_NAME " niet actief zijn."},
    /* 22 */
    {None, "Tijdens de installatie mag er geen\nandere Marvik Software draaien.",
     "Tijdens de installatie mag er geen\nandere Marvik Software draaien."},
    /* 23 */
    {None, "U heeft Vexa versie 2.0 nodig voor deze update.", "U heeft Vexa versie 2.0 nodig voor deze update."},
};

const Row English[MessageLast - MessageFirst + 1] = {
    /* 4 */ {Demo, "update information", "demo information"},
    /* 5 */ {None, PRODUCT_NAME, PRODUCT_NAME},
    /* 6 */ {None, "Update " PRODUCT_NAME " to", "Update " PRODUCT_NAME " to"},
    /* 7 */
    {None, "version " PRODUCT_VERSION " (" PRODUCT_DATE_ENGLISH ")",
     "version " PRODUCT_VERSION " (" PRODUCT_DATE_ENGLISH ")"},
    /* 8 */ {None, "", ""},
    /* 9 */ {Vexa, "Copyright " PRODUCT_YEAR " " MARVIK_COMPANY, "Copyright " PRODUCT_YEAR " " VEXA_COMPANY},
    /* 10 */ {Vexa, "development", "the Vexa team"},
    /* 11 */ {Demo, "Install update", "Install demo"},
    /* 12 */ {None, "Cancel", "Cancel"},
    /* 13 */ {Demo, "The update has been applied.", "Installation completed."},
    /* 14 */ {Demo, "Update report", "Installation finished"},
    /* 15 */ {None, "E-mail: demo@en.vexa.test", "E-mail: demo@en.vexa.test"},
    /* 16 */ {None, "E-mail: doravo@en.vexa.test", "E-mail: doravo@en.vexa.test"},
    /* 17 */ {None, "Internet: en.vexa.test", "Internet: en.vexa.test"},
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

}  // namespace

const char* MessageTextFor(int number, int dutch, int vexa, int demo) {
  if (number < MessageFirst || number > MessageLast) return "Unknown";
  const Row& row = (dutch ? Dutch : English)[number - MessageFirst];
  int flag = row.flag == Vexa ? vexa : row.flag == Demo ? demo : 0;
  return flag ? row.on : row.off;
}
