// The build variant. VariantVexa and VariantDemo are defined by the build, one
// pair per executable:
//   1, 0  update of a Vexa-line product (Doravo)   instance marker "VexaWare"
//   1, 1  demo install                             instance marker "VexaWare"
//   0, 0  update for the Marvik family             instance marker "Marvik"
#pragma once

#if !defined(VariantVexa) || !defined(VariantDemo)
#error "VariantVexa and VariantDemo must be defined by the build"
#endif

static_assert(VariantVexa == 0 || VariantVexa == 1, "VariantVexa is 0 or 1");
static_assert(VariantDemo == 0 || (VariantDemo == 1 && VariantVexa == 1), "the demo is a Vexa-line build");
