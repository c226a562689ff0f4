// The two archives as a host unpacks them: exactly the model description and
// the library, and the library loads and instantiates with the described GUID.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fmi/fmi_functions.h"
#include "fmu_files.h"
#include "support/fmu_host.h"

using namespace pelvarin;

namespace {

class FmuArchive : public ::testing::TestWithParam<fmu::Archive> {
 protected:
  void SetUp() override { host::reset_record(); }
};

TEST_P(FmuArchive, HoldsExactlyTheDescriptionAndTheLibrary) {
  std::vector<std::string> names = fmu::zip_entry_names(fmu::read_file(GetParam().path));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"binaries/linux64/Pelvarin.so", "modelDescription.xml"}));
}

TEST_P(FmuArchive, LibraryInsideLoadsAndInstantiates) {
  const fmu::Unpacked unpacked(GetParam().path);
  fmu::Element root;
  std::string error;
  ASSERT_TRUE(fmu::parse_xml(unpacked.description(), &root, &error)) << error;
  const std::string guid = root["guid"];
  const std::string prefix = root["modelIdentifier"] + "_";

  host::Library lib(unpacked.library().c_str());
  if (std::string(GetParam().kind) == "cs") {
    auto instantiate = lib.get<decltype(&::fmiInstantiateSlave)>((prefix + "fmiInstantiateSlave").c_str());
    auto release = lib.get<decltype(&::fmiFreeSlaveInstance)>((prefix + "fmiFreeSlaveInstance").c_str());
    ASSERT_NE(instantiate, nullptr);
    ASSERT_NE(release, nullptr);
    const host::Instance c{instantiate("unpacked", guid.c_str(), "", "application/x-fmu-sharedlibrary", 0.0,
                                       fmiFalse, fmiFalse, host::cs_callbacks(), fmiFalse),
                           release};
    EXPECT_NE(c, nullptr) << host::all_logs();
  } else {
    auto instantiate = lib.get<decltype(&::fmiInstantiateModel)>((prefix + "fmiInstantiateModel").c_str());
    auto release = lib.get<decltype(&::fmiFreeModelInstance)>((prefix + "fmiFreeModelInstance").c_str());
    ASSERT_NE(instantiate, nullptr);
    ASSERT_NE(release, nullptr);
    const host::Instance c{instantiate("unpacked", guid.c_str(), host::me_callbacks(), fmiFalse), release};
    EXPECT_NE(c, nullptr) << host::all_logs();
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, FmuArchive, ::testing::ValuesIn(fmu::archives()),
                         [](const ::testing::TestParamInfo<fmu::Archive>& info) { return std::string(info.param.kind); });

}  // namespace
