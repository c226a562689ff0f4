// The logging front end: the filter, the pending text, the cut and the
// doubling of "%" for hosts that treat the message as a format.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "fmi/fmi_functions.h"
#include "fmi/logging.h"
#include "fmi/model_instance.h"
#include "me_api.h"

using namespace pelvarin;

namespace {

// An instance of the statically linked core, for the functions that are no
// exports.
struct InProcess {
  host::Instance owned;
  ModelInstance* instance = nullptr;
  explicit InProcess(fmiBoolean loggingOn)
      : owned(fmiInstantiateModel("log", PELVARIN_GUID, host::me_callbacks(), loggingOn), fmiFreeModelInstance),
        instance(static_cast<ModelInstance*>(owned.get())) {
    host::reset_record();
  }
  std::string pending() const { return std::string(instance->pendingText, instance->pendingEnd); }
};

}  // namespace

TEST(Logging, FilterPassesOnlyRefusalsAndFailuresWhileLoggingIsOff) {
  me::Api api;
  host::Instance c = api.instantiate("quiet", fmiFalse);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(host::record().logs.empty());  // the fmiOK completion was dropped

  fmiValueReference bad = 0x07000000u;
  double v = 1.0;
  EXPECT_EQ(api.fmiSetTime(c, 1.0), fmiOK);                   // fmiOK
  EXPECT_EQ(api.fmiGetString(c, &bad, 1, nullptr), fmiDiscard);  // fmiWarning
  EXPECT_EQ(api.fmiSetReal(c, &bad, 1, &v), fmiDiscard);        // fmiDiscard
  EXPECT_EQ(api.fmiGetReal(c, &bad, 1, nullptr), fmiError);     // fmiError
  EXPECT_EQ(api.instantiate("second"), nullptr);                // fmiFatal
  ASSERT_EQ(host::record().logs.size(), 3u) << host::all_logs();
  EXPECT_EQ(host::record().logs[0].status, fmiDiscard);
  EXPECT_EQ(host::record().logs[1].status, fmiError);
  EXPECT_EQ(host::record().logs[2].status, fmiFatal);

  host::reset_record();
  EXPECT_EQ(api.fmiSetDebugLogging(c, fmiTrue), fmiOK);
  EXPECT_EQ(api.fmiSetTime(c, 2.5), fmiOK);
  EXPECT_EQ(api.fmiGetString(c, &bad, 1, nullptr), fmiDiscard);
  ASSERT_EQ(host::record().logs.size(), 2u);
  EXPECT_EQ(host::record().logs[0].message, "fmiSetTime to 2.5");
  EXPECT_EQ(host::record().logs[1].message, "fmiGetString: not supported");
  EXPECT_EQ(host::record().logs[1].status, fmiWarning);
  for (const host::LogRecord& r : host::record().logs) {
    EXPECT_EQ(r.category, "");
    EXPECT_EQ(r.instanceName, "quiet");
    EXPECT_EQ(r.component, c);
  }

  // The switch works in every state.
  EXPECT_EQ(api.fmiTerminate(c), fmiOK);
  EXPECT_EQ(api.fmiSetDebugLogging(c, fmiFalse), fmiOK);
  host::reset_record();
  EXPECT_EQ(api.fmiSetTime(c, 3.0), fmiOK);
  EXPECT_TRUE(host::record().logs.empty());
}

TEST(Logging, LongMessagesAreCutAt4094Characters) {
  me::Api api;
  const std::string guid(5000, 'g');
  EXPECT_EQ(api.fmiInstantiateModel("cut", guid.c_str(), host::me_callbacks(), fmiFalse), nullptr);
  const host::LogRecord& r = host::record().logs.at(0);
  EXPECT_EQ(r.message.size(), 4094u);
  EXPECT_EQ(r.message, ("Invalid GUID: " + guid).substr(0, 4094));

  // All of a cut text of percent signs still reaches the host as meant.
  host::reset_record();
  const std::string percents(5000, '%');
  EXPECT_EQ(api.fmiInstantiateModel("cut", percents.c_str(), host::me_callbacks(), fmiFalse), nullptr);
  EXPECT_EQ(host::record().logs.at(0).message, ("Invalid GUID: " + percents).substr(0, 4094));

  // A cut ends on a character boundary: 4079 bytes of three-byte characters
  // behind "Invalid GUID: x" keep 1359 of them, not a lead byte of the next.
  host::reset_record();
  std::string euros;
  for (int i = 0; i < 2000; ++i) euros += "\xE2\x82\xAC";
  EXPECT_EQ(api.fmiInstantiateModel("cut", ("x" + euros).c_str(), host::me_callbacks(), fmiFalse), nullptr);
  EXPECT_EQ(host::record().logs.at(0).message, "Invalid GUID: x" + euros.substr(0, 3 * 1359));
}

TEST(Logging, RuntimeTextsReachTheLiveInstance) {
  me::Api api;
  host::Instance c = api.instantiate("rt");
  ASSERT_NE(c, nullptr);
  // Before the first initialization call every evaluation fails with the
  // runtime's own report.
  double dx[2];
  EXPECT_EQ(api.fmiGetDerivatives(c, dx, 2), fmiDiscard);
  EXPECT_FALSE(host::logs_containing("ERROR: Finding consistent restart conditions failed at time: ").empty())
      << host::all_logs();
  for (const host::LogRecord& r : host::logs_containing("Finding consistent")) {
    EXPECT_EQ(r.status, fmiOK);
    EXPECT_EQ(r.instanceName, "rt");
  }
  EXPECT_TRUE(me::logged("fmiGetDerivatives: dsblock_ failed, QiErr = 1", fmiError));
}

TEST(LoggingInProcess, PendingTextGoesOutInFrontOfTheNextMessage) {
  InProcess p(fmiTrue);
  ModelInstance* inst = p.instance;
  fmi_log_pending(inst, inst->instanceName, fmiOK, "", "%s", "5%d");
  fmi_log_pending(inst, inst->instanceName, fmiOK, "", "%c", ':');
  EXPECT_EQ(p.pending(), "5%d:");
  EXPECT_TRUE(host::record().logs.empty());

  fmi_log(inst, inst->instanceName, fmiWarning, "", "x=%d %s", 7, "y");
  ASSERT_EQ(host::record().logs.size(), 1u);
  EXPECT_EQ(host::record().logs[0].message, "5%d:x=7 y");  // the pending "%d" took no argument
  EXPECT_EQ(host::record().logs[0].status, fmiWarning);
  EXPECT_EQ(p.pending(), "");
}

TEST(LoggingInProcess, PendingTextSurvivesDroppedMessages) {
  InProcess p(fmiFalse);
  ModelInstance* inst = p.instance;
  fmi_log_pending(inst, inst->instanceName, fmiDiscard, "", "dropped ");
  EXPECT_EQ(p.pending(), "");  // below fmiError nothing is collected while logging is off
  fmi_log_pending(inst, inst->instanceName, fmiError, "", "kept ");
  EXPECT_EQ(p.pending(), "kept ");
  fmi_log(inst, inst->instanceName, fmiWarning, "", "filtered");
  EXPECT_TRUE(host::record().logs.empty());
  EXPECT_EQ(p.pending(), "kept ");
  fmi_log(inst, inst->instanceName, fmiDiscard, "", "sent");
  ASSERT_EQ(host::record().logs.size(), 1u);
  EXPECT_EQ(host::record().logs[0].message, "kept sent");
}

// Nothing collected is lost: a piece that does not fit, or an empty one,
// first sends what is pending; a piece longer than the whole room is cut.
TEST(LoggingInProcess, APieceThatDoesNotFitOrIsEmptySendsThePendingTextFirst) {
  InProcess p(fmiTrue);
  ModelInstance* inst = p.instance;
  struct Case {
    size_t before;
    std::string piece;
    std::string sent;  // "" when nothing reaches the logger
    std::string left;
  };
  const std::string a250(250, 'a');
  std::string euros;  // 300 bytes of three-byte characters
  for (int i = 0; i < 100; ++i) euros += "\xE2\x82\xAC";
  const Case cases[] = {
      {0, std::string(254, 'b'), "", std::string(254, 'b')},
      {0, std::string(300, 'b'), "", std::string(254, 'b')},
      {250, "bcde", "", a250 + "bcde"},
      {250, "bcdef", a250, "bcdef"},
      {100, std::string(300, 'b'), std::string(100, 'a'), std::string(254, 'b')},
      {3, "", "aaa", ""},
      {0, "", "", ""},
      {0, euros, "", euros.substr(0, 3 * 84)},  // cut on a character boundary
  };
  for (const Case& k : cases) {
    fmi_log(inst, inst->instanceName, fmiOK, "", "flush");
    if (k.before > 0) fmi_log_pending(inst, inst->instanceName, fmiOK, "", "%s", std::string(k.before, 'a').c_str());
    ASSERT_EQ(p.pending().size(), k.before);
    host::reset_record();
    fmi_log_pending(inst, inst->instanceName, fmiError, "", "%s", k.piece.c_str());
    if (k.sent.empty()) {
      EXPECT_TRUE(host::record().logs.empty()) << k.before << " + " << k.piece.size();
    } else {
      ASSERT_EQ(host::record().logs.size(), 1u) << k.before << " + " << k.piece.size();
      EXPECT_EQ(host::record().logs[0].message, k.sent);
      EXPECT_EQ(host::record().logs[0].status, fmiError);
      EXPECT_EQ(host::record().logs[0].instanceName, "log");
    }
    EXPECT_EQ(p.pending(), k.left) << k.before << " + " << k.piece.size();
  }
}

TEST(LoggingInProcess, PendingTextCountsTowardsTheCut) {
  InProcess p(fmiTrue);
  ModelInstance* inst = p.instance;
  fmi_log_pending(inst, inst->instanceName, fmiOK, "", "%s", std::string(200, 'p').c_str());
  fmi_log(inst, inst->instanceName, fmiOK, "", "%s", std::string(5000, 'm').c_str());
  ASSERT_EQ(host::record().logs.size(), 1u);
  EXPECT_EQ(host::record().logs[0].message, std::string(200, 'p') + std::string(3894, 'm'));
}

TEST(LoggingInProcess, CopyInstanceString) {
  InProcess p(fmiFalse);
  const long before = host::record().live_blocks;
  struct Case {
    const char* text;
    std::string expected;
  };
  const std::string long_text(1500, 'z');
  // Names of two-, three- and four-byte characters that the 1024 bytes
  // would cut inside a character: the copy keeps whole characters only.
  std::string two = "a", three = "ab", four = "a";
  for (int i = 0; i < 600; ++i) {
    two += "\xC3\xA9";
    three += "\xE2\x82\xAC";
    four += "\xF0\x9D\x84\x9E";
  }
  std::string exact = std::string(1022, 'z') + "\xC3\xA9" + "tail";  // a character ends at the limit
  const Case cases[] = {{nullptr, "<NULL>"},
                        {"", ""},
                        {"abc", "abc"},
                        {long_text.c_str(), long_text.substr(0, 1024)},
                        {two.c_str(), two.substr(0, 1 + 2 * 511)},
                        {three.c_str(), three.substr(0, 2 + 3 * 340)},
                        {four.c_str(), four.substr(0, 1 + 4 * 255)},
                        {exact.c_str(), exact.substr(0, 1024)}};
  for (const Case& k : cases) {
    char* copy = copy_instance_string(p.instance, k.text);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::string(copy), k.expected);
    host::free_block(copy);
  }
  host::record().fail_at = host::record().allocation_calls + 1;
  EXPECT_EQ(copy_instance_string(p.instance, "x"), nullptr);
  EXPECT_EQ(host::record().live_blocks, before);
}

// A host whose locale writes numbers with a decimal comma (compiled into a
// temporary folder when none is installed) still gets "0.5".
TEST(Logging, MessagesKeepTheirNumberFormatInAnyHostLocale) {
  char folder[] = "/tmp/pelvarin-fmi-locale-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string command =
      std::string("localedef -c -i de_DE -f UTF-8 ") + folder + "/de_DE.UTF-8 >/dev/null 2>&1";
  const int rc = std::system(command.c_str());
  (void)rc;
  setenv("LOCPATH", folder, 1);
  const bool entered = setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  const bool comma = entered && std::string(localeconv()->decimal_point) == ",";
  if (comma) {
    me::Api api;
    host::Instance c = api.instantiate();
    EXPECT_EQ(api.fmiSetTime(c, 0.5), fmiOK);
    EXPECT_TRUE(me::logged("fmiSetTime to 0.5", fmiOK)) << host::all_logs();
  }
  setlocale(LC_ALL, "C");
  const int removed = std::system((std::string("rm -rf ") + folder).c_str());
  (void)removed;
  if (!comma) GTEST_SKIP() << "no decimal-comma locale could be made";
}
