// The product registration step: the Uninstall entry, the version key and the
// product key, and nothing of the maker's or of other programs.
#include <gtest/gtest.h>

#include "installed_machine.h"
#include "uninstall.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Picaro 2400R Storage Driver";
const std::string kProduct = "Software\\KOVRA\\Picaro 2400R Storage Driver";

TEST(ProductRegistration, DeletesTheUninstallEntryFirstAndTheProductKeyLast)
{
    fixture::InstallProduct();
    RemoveProductRegistration();
    // The version key has no separator before its version (docs/kept_on_purpose.md).
    EXPECT_EQ(fixture::KeyDeletes({kUninstall, kProduct + "1.00.000", kProduct}), sim::CallsNamed("RegDeleteKeyA"));
    EXPECT_TRUE(sim::KeyExists("Software\\KOVRA\\Picaro Viewer"));
    EXPECT_TRUE(sim::KeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other Program"));

    // Keys not there are not deleted, and the maker's key stays.
    sim::Reset();
    sim::AddKey(kProduct);
    RemoveProductRegistration();
    EXPECT_EQ(fixture::KeyDeletes({kProduct}), sim::CallsNamed("RegDeleteKeyA"));
    EXPECT_TRUE(sim::KeyExists("Software\\KOVRA"));
}

}  // namespace
