// The device registration step: the device's USB keys, the ESDI entry that
// the driver's service key names, and the service key.
#include <gtest/gtest.h>

#include "installed_machine.h"
#include "uninstall.h"

namespace {

struct DeviceCase {
    const char *what;
    bool usbKeys;
    bool service;
    bool hasId;
    std::string id;  // raw bytes of the ID value
    std::vector<std::string> deletes;
    UINT codePage = 1252;
};

void PrintTo(const DeviceCase &c, std::ostream *out) { *out << c.what; }

const std::string Z(1, '\0');
const std::string kId127(127, 'i');
const std::string kUsb1 = "Enum\\USB\\Vid_1D9A&Pid_2C41", kUsb2 = "Enum\\USB\\*RIRUREVE";
const std::vector<DeviceCase> kDevices = {
    {"everything", true, true, true, "ABC" + Z, fixture::KeyDeletes({kUsb1, kUsb2, "Enum\\ESDI\\ABC", fixture::kServiceKey})},
    {"only the service key, no ID", false, true, false, "", fixture::KeyDeletes({fixture::kServiceKey})},
    {"nothing", false, false, false, "", {}},
    {"USB keys only", true, false, false, "", fixture::KeyDeletes({kUsb1, kUsb2})},
    {"ID without a zero", false, true, true, "ABC", fixture::KeyDeletes({"Enum\\ESDI\\ABC", fixture::kServiceKey})},
    {"ID of 127 characters", false, true, true, kId127 + Z,
     fixture::KeyDeletes({"Enum\\ESDI\\" + kId127, fixture::kServiceKey})},
    {"ID too long for its buffer", false, true, true, kId127 + "i" + Z, fixture::KeyDeletes({fixture::kServiceKey})},
    // These would name the whole ESDI branch: every ESDI device would go.
    {"empty ID", false, true, true, Z, fixture::KeyDeletes({fixture::kServiceKey})},
    {"ID of backslashes", false, true, true, "\\\\" + Z, fixture::KeyDeletes({fixture::kServiceKey})},
    {"932: an ID of one character ending in 0x5C", false, true, true, "\x95\x5C" + Z,
     fixture::KeyDeletes({"Enum\\ESDI\\\x95\\", fixture::kServiceKey}), 932},
    {"932: an ID ending in half a character", false, true, true, "ABC\x95" + Z,
     fixture::KeyDeletes({fixture::kServiceKey}), 932},
};

class DeviceRegistration : public testing::TestWithParam<DeviceCase> {};

TEST_P(DeviceRegistration, DeletesTheDeviceKeysAndTheEsdiEntryTheServiceNames)
{
    const DeviceCase &c = GetParam();
    sim::Reset();
    sim::SetCodePage(c.codePage);
    sim::AddKey("Enum\\ESDI\\OTHER_DISK\\0000");
    sim::AddKey("Enum\\ESDI\\ABC\\0000");
    sim::AddKey("Enum\\ESDI\\" + kId127);
    sim::AddKey("Enum\\ESDI\\\x95\x5C\\0000");  // one key in code page 932
    if (c.usbKeys) {
        sim::AddKey(kUsb1 + "\\5&2F3A1B&0&1");
        sim::AddKey(kUsb2 + "\\0000");
    }
    if (c.service) sim::AddKey(fixture::kServiceKey);
    if (c.hasId) sim::SetValue(fixture::kServiceKey, fixture::kIdValue, REG_SZ, c.id);
    RemoveDeviceRegistration();
    EXPECT_EQ(c.deletes, sim::CallsNamed("RegDeleteKeyA"));
    EXPECT_EQ(0, sim::OpenKeyCount());
}

INSTANTIATE_TEST_SUITE_P(Keys, DeviceRegistration, testing::ValuesIn(kDevices),
                         [](const testing::TestParamInfo<DeviceCase> &row) { return fixture::CaseName(row.param.what); });

}  // namespace
