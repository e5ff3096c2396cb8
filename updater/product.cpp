// This executable's product data, from the header the build makes of its
// product file.
#include "updater/product.h"

#include "product_data.h"

const ProductData Product = {
    PRODUCT_NAME,
    PRODUCT_VERSION,
    {PRODUCT_UPDATE_LINE_EN, PRODUCT_UPDATE_LINE_NL},
    {PRODUCT_VERSION_LINE_EN, PRODUCT_VERSION_LINE_NL},
    PRODUCT_COPYRIGHT,
    {PRODUCT_TEAM_EN, PRODUCT_TEAM_NL},
    {PRODUCT_MAIL_EN, PRODUCT_MAIL_NL},
    {PRODUCT_WEB_EN, PRODUCT_WEB_NL},
    {PRODUCT_MEMBERS},
};

const char* const ProductName = Product.name;
const char* const ProductNewVersion = Product.version;
