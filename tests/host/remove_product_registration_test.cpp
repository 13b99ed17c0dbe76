// The product registration step: the Uninstall entry, the version key and the
// product key, and nothing of the maker's or of other programs.
#include <gtest/gtest.h>

#include "installed_machine.h"
#include "uninstall.h"

namespace {

const std::string kProduct = fixture::kProductKey;

TEST(ProductRegistration, DeletesTheUninstallEntryFirstAndTheProductKeyLast)
{
    fixture::InstallProduct();
    RemoveProductRegistration();
    // The version key is the product key and its version, with no separator
    // between them (docs/kept_on_purpose.md).
    EXPECT_EQ(fixture::KeyDeletes({fixture::kUninstallKey, kProduct + fixture::kProductVersion, kProduct}),
              sim::CallsNamed("RegDeleteKeyA"));

    // Keys not there are not deleted, and the maker's key stays.
    sim::Reset();
    sim::AddKey(kProduct);
    RemoveProductRegistration();
    EXPECT_EQ(fixture::KeyDeletes({kProduct}), sim::CallsNamed("RegDeleteKeyA"));
}

}  // namespace
