// Episodes chosen rather than drawn: --episodes as read, the draws it keeps, and the names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch.h"
#include "commandline.h"
#include "episodewords.h"
#include "growth.h"
#include "seedfile.h"
#include "signalling.h"
#include "store_fixture.h"
#include "work_folder.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& file) {
  std::stringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}

TEST(EpisodeWords, ReadCheckedAndSpeltInOneOrder) {
  std::string problem;
  const auto c = parseEpisodeChoices("blue.lifespan=4..8,red.threshold=30,green.secretor=-1", problem);
  ASSERT_TRUE(c) << problem;
  EXPECT_EQ(episodeChoicesText(*c), "red.threshold=30,green.secretor=-1,blue.lifespan=4..8");
  EXPECT_EQ(episodeNameTag(*c), ".red-threshold30.green-secretor-1.blue-lifespan4to8");
  EXPECT_EQ(episodeNameTag(EpisodeChoices{}), "");
  // Each refusal names the word and what is wrong with it.
  for (const auto& [list, says] : std::vector<std::pair<std::string, std::string>>{
           {"", "empty"},
           {"red.threshold=256", "'red.threshold=256': a threshold is a whole number from 0 to 255"},
           {"red.lifespan=-32769", "from -32768 to 32767"},
           {"blue.secretor=-2", "from -1 to 32767"},
           {"red.threshold=30,", "'' is not colour.field=value"},
           {"pink.threshold=3", "the colour is red, green or blue"},
           {"red.size=3", "the field lifespan, threshold or secretor"},
           {"red.threshold=8..4", "low end is above its high end"},
           {"red.threshold=3x", "a threshold is a whole number"},
           {"red.threshold=1,red.threshold=2", "red.threshold is chosen twice"}}) {
    problem.clear();
    EXPECT_FALSE(parseEpisodeChoices(list, problem)) << list;
    EXPECT_NE(problem.find(says), std::string::npos) << list << ": " << problem;
  }
}

// One episode of each colour from `seed`, under `choices`; the draw after it. Notices go
// to `said` when given.
std::pair<GrowthSettings, int> episodesFrom(unsigned seed, const EpisodeChoices& choices, std::string* said = nullptr) {
  buildIcosahedron();
  E.chosenEpisodes = choices;
  if (said) E.sink = [said](const std::string& text) { *said += text; };
  for (void (*begin)(Embryo&) : {newEpisodeR, newEpisodeG, newEpisodeB}) {
    E.random.seed(seed);
    begin(E);
  }
  return {{E.red, E.green, E.blue, {}}, E.random.next()};
}

TEST(EpisodeChoice, AChosenFieldTakesItsValueAndTheOthersKeepTheirDraws) {
  std::string problem;
  const auto fixed =
      parseEpisodeChoices("red.lifespan=7,red.threshold=30,green.threshold=60..61,blue.secretor=4", problem);
  const auto threshold = parseEpisodeChoices("red.threshold=30", problem);
  ASSERT_TRUE(fixed && threshold);
  for (unsigned seed = 1; seed <= 30; ++seed) {
    const auto [drawn, after] = episodesFrom(seed, {});
    const auto [given, afterGiven] = episodesFrom(seed, *fixed);
    EXPECT_EQ(afterGiven, after) << "three draws per episode whatever is chosen";
    // A chosen red lifespan is the one the episode runs with.
    EXPECT_EQ(given.red, (Morphogen{7, 30, drawn.red.secretor}));
    // A range maps the threshold's own draw (green's is 51 + r % 30, so r % 2 shows).
    EXPECT_EQ(given.green,
              (Morphogen{drawn.green.lifespan, static_cast<unsigned char>(60 + (drawn.green.threshold - 51) % 2),
                         drawn.green.secretor}));
    EXPECT_EQ(given.blue, (Morphogen{drawn.blue.lifespan, drawn.blue.threshold, 4}));
    // A chosen red threshold rescales the drawn lifespan (green's, drawn alike) as a drawn one would.
    const short rescaled = static_cast<short>(drawn.green.lifespan * (30 - 15) / 65 + 1);
    EXPECT_EQ(episodesFrom(seed, *threshold).first.red, (Morphogen{rescaled, 30, drawn.red.secretor}));
  }
}

TEST(EpisodeChoice, ASecretorThatNamesNoVertexTakesTheDrawSaidOncePerEmbryo) {
  std::string problem;
  const auto far = parseEpisodeChoices("red.secretor=12", problem);
  ASSERT_TRUE(far);
  std::string said;
  const auto drawn = episodesFrom(9, {}).first;
  EXPECT_EQ(episodesFrom(9, *far, &said).first.red.secretor, drawn.red.secretor);
  newEpisodeR(E);
  E.sink = standardErrorSink;
  EXPECT_EQ(said, std::string(variant::programName) +
                      ": the chosen red secretor 12 names no vertex of the surface (12 vertices) as an episode "
                      "begins; such episodes take the drawn secretor\n");
}

// What a cycle leaves: the surface, the generator's position and the green episode.
struct CycleState {
  std::vector<float> xyz;
  std::array<char, 128> random;
  Morphogen green;
  bool operator==(const CycleState&) const = default;
};

std::vector<CycleState> grow(const EpisodeChoices& choices, int cycles) {
  Embryo e(seedRules);
  EXPECT_EQ(loadSeed(e, SEED_FILE), std::nullopt);
  e.random.seed(1000);
  e.chosenEpisodes = choices;
  std::vector<CycleState> states;
  for (int c = 0; c < cycles; ++c) {
    growthCycle(e);
    CycleState s{{}, e.random.save().bytes, e.green};
    for (int i = 0; i < e.numVertices; ++i) s.xyz.insert(s.xyz.end(), {e.vertex[i].x, e.vertex[i].y, e.vertex[i].z});
    states.push_back(s);
  }
  return states;
}

TEST(EpisodeChoice, ARunDrawsAsOneWithoutChoicesUpToTheFirstChangedEpisode) {
  // Green episodes wait for 500 triangles, so many cycles pass before the choice counts.
  const int cycles = 18;
  const std::vector<CycleState> plain = grow({}, cycles);
  int first = 0;
  while (first < cycles && plain[first].green.lifespan <= 0) ++first;
  ASSERT_LT(first, cycles - 3) << "no green episode began";
  ASSERT_GT(first, 0);
  std::string problem;
  const std::vector<CycleState> chosen = grow(*parseEpisodeChoices("green.threshold=255", problem), cycles);
  for (int c = 0; c < first; ++c) EXPECT_TRUE(chosen[c] == plain[c]) << "cycle " << c;
  // The episode draws as many numbers and changes no level before the next growth step.
  EXPECT_EQ(chosen[first].random, plain[first].random);
  EXPECT_EQ(chosen[first].xyz, plain[first].xyz);
  EXPECT_EQ(chosen[first].green, (Morphogen{plain[first].green.lifespan, 255, plain[first].green.secretor}));
  EXPECT_NE(chosen.back().xyz, plain.back().xyz);
}

class EpisodeRuns : public WorkFolderTest {
 protected:
  void SetUp() override { enterFreshFolder("episodes"), fs::copy_file(SEED_FILE, "indexed_icosa"); }
  void TearDown() override { leaveFolder(); }
};

TEST_F(EpisodeRuns, ChosenThresholdsGrowDifferentShapesUnderNamesThatCarryThem) {
  for (std::vector<std::string> words : std::vector<std::vector<std::string>>{
           {"-v", "12", "-t", "1", "--episodes", "red.threshold=30"}, {"--episodes", "red.threshold=70"}, {}}) {
    words.insert(words.begin(), {"morphseed", "-s", "1000", "-b", "1", "12"});
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    SeedRun run;
    ASSERT_EQ(parseCommandLine(static_cast<int>(argv.size()), argv.data(), run), 0);
    testing::internal::CaptureStderr();
    runBatches(run);
    testing::internal::GetCapturedStderr();
  }
  for (const char* name : {"embryo.1000.red-threshold30.3dvTemplate", "embryo.1000.red-threshold30.pvd",
                           "embryo.1000.red-threshold30.c12.vtp", "embryo.1000.3dv"})
    EXPECT_TRUE(fs::exists(name)) << name;
  // The snapshots say how the embryo was grown, as --episodes took it (a string array of
  // character codes): 114 101 100 46 116 is "red.t".
  EXPECT_NE(readFile("embryo.1000.red-threshold30.c12.vtp")
                .find("Name=\"episodes\" NumberOfTuples=\"1\" format=\"ascii\">114 101 100 46 116 "),
            std::string::npos);
  const std::string low = readFile("embryo.1000.red-threshold30.3dv");
  EXPECT_FALSE(low.empty());
  EXPECT_NE(low, readFile("embryo.1000.red-threshold70.3dv"));
  EXPECT_NE(low, readFile("embryo.1000.3dv"));
}

}  // namespace
