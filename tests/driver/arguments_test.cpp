#include <gtest/gtest.h>

#include "driver/arguments.hpp"

#include <string>
#include <vector>

namespace superpixels::testing {
namespace {

using Action = ParsedArguments::Action;

ParsedArguments parseCount(const std::string& count) {
  return parseArguments({"in", "out", count, "0.5"});
}

ParsedArguments parseWeight(const std::string& weight) {
  return parseArguments({"in", "out", "10", weight});
}

TEST(Arguments, FourPositionalArgumentsMakeARun) {
  const ParsedArguments parsed = parseArguments({"photos", "results", "200", "0.5"});
  ASSERT_EQ(parsed.action, Action::run) << parsed.message;
  EXPECT_EQ(parsed.run.inputFolder, "photos");
  EXPECT_EQ(parsed.run.outputFolder, "results");
  EXPECT_EQ(parsed.run.segmentation.superpixelCount, 200);
  EXPECT_EQ(parsed.run.segmentation.weightFactor, 0.5f);
}

TEST(Arguments, WrongNumberOfArgumentsIsAUsageError) {
  const std::vector<std::vector<std::string>> wrong = {
      {}, {"in"}, {"in", "out", "200"}, {"in", "out", "200", "0.5", "extra"}};
  for (const std::vector<std::string>& arguments : wrong) {
    SCOPED_TRACE(std::to_string(arguments.size()) + " arguments");
    const ParsedArguments parsed = parseArguments(arguments);
    EXPECT_EQ(parsed.action, Action::usageError);
    EXPECT_TRUE(parsed.showUsage);
    EXPECT_FALSE(parsed.message.empty());
    EXPECT_EQ(parsed.message.find('\n'), std::string::npos) << "one line: " << parsed.message;
  }
}

TEST(Arguments, OptionsAreRecognisedAnywhereBeforeTheirEnd) {
  EXPECT_EQ(parseArguments({"--help"}).action, Action::help);
  EXPECT_EQ(parseArguments({"in", "out", "--help"}).action, Action::help);
  EXPECT_EQ(parseArguments({"--version"}).action, Action::version);
  EXPECT_EQ(parseArguments({"in", "out", "200", "0.5", "--version"}).action, Action::version);

  const ParsedArguments unknown = parseArguments({"--fast", "in", "out", "200", "0.5"});
  EXPECT_EQ(unknown.action, Action::usageError);
  EXPECT_TRUE(unknown.showUsage);
  EXPECT_EQ(unknown.message, "unknown option \"--fast\"");
}

// 0 is one per CPU the process may use, as in the library and in Python; the cap is the library's.
TEST(Arguments, ThreadsFromZeroToTheLibrarysCap) {
  for (const auto& [text, threads] :
       {std::pair{"0", 0}, std::pair{"3", 3}, std::pair{"4096", 4096}}) {
    const ParsedArguments parsed = parseArguments({"--threads", text, "in", "out", "5", "0.5"});
    ASSERT_EQ(parsed.action, Action::run) << parsed.message;
    EXPECT_EQ(parsed.run.segmentation.threads, threads);
  }
  for (const char* text : {"4097", "-1", "00x", ""}) {
    EXPECT_EQ(parseArguments({std::string("--threads=") + text, "in", "out", "5", "0.5"}).message,
              "--threads \"" + std::string(text) + "\" is not a whole number from 0 to 4096");
  }
}

TEST(Arguments, DoubleDashEndsOptionsAndDashesBeforeDigitsArePositional) {
  ParsedArguments parsed = parseArguments({"--", "--help", "-out", "7", "1"});
  ASSERT_EQ(parsed.action, Action::run) << parsed.message;
  EXPECT_EQ(parsed.run.inputFolder, "--help");
  EXPECT_EQ(parsed.run.outputFolder, "-out");
  parsed = parseArguments({"-", "out", "7", "1"});
  ASSERT_EQ(parsed.action, Action::run) << parsed.message;
  EXPECT_EQ(parsed.run.inputFolder, "-");

  // "-5" is the count, not an option, and is then refused as a count.
  parsed = parseArguments({"in", "out", "-5", "0.5"});
  EXPECT_EQ(parsed.action, Action::usageError);
  EXPECT_EQ(parsed.message, "COUNT \"-5\" is out of range: must be from 1 to 85899345");
  parsed = parseArguments({"in", "out", "5", "-.5"});
  EXPECT_EQ(parsed.message, "WEIGHT \"-.5\" is negative: must be 0 or more");

  // A single dash and a letter is an option, and none is known.
  for (const char* option : {"-j", "-jobs", "-h", "-inf"}) {
    parsed = parseArguments({"in", "out", "5", option});
    EXPECT_EQ(parsed.action, Action::usageError) << option;
    EXPECT_EQ(parsed.message, "unknown option \"" + std::string(option) + "\"");
  }
}

TEST(Arguments, CountIsAPlusAndDecimalDigitsOnly) {
  const std::pair<const char*, int> accepted[] = {
      {"12", 12}, {"+7", 7}, {"0042", 42}, {"1", 1}, {"85899345", 85899345}};
  for (const auto& [text, value] : accepted) {
    SCOPED_TRACE(std::string("COUNT '") + text + "'");
    const ParsedArguments parsed = parseCount(text);
    ASSERT_EQ(parsed.action, Action::run) << parsed.message;
    EXPECT_EQ(parsed.run.segmentation.superpixelCount, value);
  }
}

TEST(Arguments, CountThatIsNotAWholeNumberInRangeIsRefusedRepeatingTheText) {
  // Each of these once ran, as 200, 1, 12, 0 or 3 superpixels.
  for (const char* text :
       {"200px", "1e3", "  12", "12 ", "abc", "", "+", "++3", "3.0", "0x10", "\t3", "1,000", "٣"}) {
    SCOPED_TRACE(std::string("COUNT '") + text + "'");
    const ParsedArguments parsed = parseCount(text);
    EXPECT_EQ(parsed.action, Action::usageError);
    EXPECT_FALSE(parsed.showUsage) << "a bad value is named, not answered with the usage text";
    EXPECT_EQ(parsed.message, "COUNT \"" + std::string(text) + "\" is not a whole number");
  }
  // 85899346 is the first count whose 25 blocks per superpixel no longer fit in 32 bits.
  for (const char* text :
       {"0", "-3", "85899346", "2147483648", "99999999999999999999999999", "-99999999999"}) {
    SCOPED_TRACE(std::string("COUNT '") + text + "'");
    const ParsedArguments parsed = parseCount(text);
    EXPECT_EQ(parsed.action, Action::usageError);
    EXPECT_EQ(parsed.message,
              "COUNT \"" + std::string(text) + "\" is out of range: must be from 1 to 85899345");
  }
  // The count is checked first.
  EXPECT_EQ(parseArguments({"in", "out", "0", "nan"}).message.rfind("COUNT", 0), 0u);
}

TEST(Arguments, WeightIsADecimalNumberRoundedToSinglePrecision) {
  const std::pair<const char*, float> accepted[] = {
      {"0.5", 0.5f},    {".5", 0.5f},     {"5.", 5.0f},    {"1e-1", 0.1f},
      {"+0.25", 0.25f}, {"1E+2", 100.0f}, {"3", 3.0f},     {"0.1", 0.1f},
      {"1e38", 1e38f},  {"0", 0.0f},      {"1e-50", 0.0f}, {"0.30000001", 0.30000001f}};
  for (const auto& [text, value] : accepted) {
    SCOPED_TRACE(std::string("WEIGHT '") + text + "'");
    const ParsedArguments parsed = parseWeight(text);
    ASSERT_EQ(parsed.action, Action::run) << parsed.message;
    EXPECT_EQ(parsed.run.segmentation.weightFactor, value);
  }
}

TEST(Arguments, WeightThatIsNotAFiniteDecimalNumberOfZeroOrMoreIsRefusedRepeatingTheText) {
  // Each of these once ran, most of them with weight 0.
  for (const char* text : {"abc", "O.5", "0.5xyz", "", " .25", "0.5 ", ".", "e3", "1e", "1e+",
                           "inf", "+inf", "INFINITY", "nan", "NaN(1)", "0x1p-1", "1,5", "+-1"}) {
    SCOPED_TRACE(std::string("WEIGHT '") + text + "'");
    const ParsedArguments parsed = parseWeight(text);
    EXPECT_EQ(parsed.action, Action::usageError);
    EXPECT_FALSE(parsed.showUsage);
    EXPECT_EQ(parsed.message, "WEIGHT \"" + std::string(text) + "\" is not a decimal number");
  }
  // By the sign: -0 and -1e-50 (0 in single precision) are negative too.
  for (const char* text : {"-1", "-0.001", "-1e-3", "-0", "-0.0", "-1e-50"}) {
    EXPECT_EQ(parseWeight(text).message,
              "WEIGHT \"" + std::string(text) + "\" is negative: must be 0 or more");
  }
  // 1e50 fits a double but not a float: narrowed, it would be infinite.
  for (const char* text : {"1e50", "1e39", "1e400"}) {
    EXPECT_EQ(parseWeight(text).message,
              "WEIGHT \"" + std::string(text) + "\" is too large: must be at most 3.4e38");
  }
}

TEST(Arguments, PixelLimitIsAWholeNumberInRangeInEitherSpelling) {
  EXPECT_EQ(parseArguments({"in", "out", "5", "0.5"}).run.maxPixels, defaultMaxPixels);
  EXPECT_EQ(parseArguments({"--max-pixels", "12", "in", "out", "5", "0.5"}).run.maxPixels, 12);
  EXPECT_EQ(parseArguments({"in", "out", "5", "0.5", "--max-pixels=2147483647"}).run.maxPixels,
            2147483647);
  for (const char* text : {"0", "-1", "12x", " 12", "1e6", "", "2147483648", "99999999999"}) {
    SCOPED_TRACE(std::string("--max-pixels '") + text + "'");
    const ParsedArguments parsed =
        parseArguments({std::string("--max-pixels=") + text, "in", "out", "5", "0.5"});
    EXPECT_EQ(parsed.action, Action::usageError);
    EXPECT_EQ(parsed.message, "--max-pixels \"" + std::string(text) +
                                  "\" is not a whole number from 1 to 2147483647");
  }
  const ParsedArguments missing = parseArguments({"in", "out", "5", "0.5", "--max-pixels"});
  EXPECT_EQ(missing.action, Action::usageError);
  EXPECT_NE(missing.message.find("needs a value"), std::string::npos) << missing.message;
}

}  // namespace
}  // namespace superpixels::testing
