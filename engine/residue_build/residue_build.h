// Residue files built from monitoring and field trial samples: each sample
// result (or its limit of detection or quantification, by the rules chosen
// for results below them), the share of the crop not treated, the processing
// factor of each food form and the survey foods a sampled commodity stands
// for, turned into the residue file of one chemical, with a lower, middle
// and upper bound for the non-detects. docs/residue-build.md states the
// arithmetic.
//
// The samples file, one row per sample and analysed commodity:
//   commodity,sample_id,result_ppm,lod_ppm[,loq_ppm][,detected]
// The rules file, one row per survey food (or food form) a commodity stands
// for:
//   commodity,food_code[,food_form][,processing_factor][,percent_crop_treated][,note]
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "residue/residue_file_writer.h"

namespace ormid {

struct ModOrmid;
struct MasterFoods;

// What a non-detect counts as (--non-detects).
enum class NonDetectRule { Zero, HalfLod, Lod, HalfLoq, Loq };
// What a result detected but not quantified counts as (--not-quantified);
// LodPlusHalf is LOD + (LOQ - LOD) / 2.
enum class NotQuantifiedRule { HalfLoq, Loq, LodPlusHalf };
// How the percent of the crop treated applies (--crop-treated): monitoring
// samples include untreated crops, so that share of the samples are true
// zeros among the non-detects; field trials are of treated crops, so the
// share goes into adjustment factor #2.
enum class CropTreatedRule { ZeroNonDetects, Factor };
enum class Bound { Lower, Middle, Upper };
enum class BoundChoice { Lower, Middle, Upper, All };

// The options' words, as the command line takes them and the manifest
// records them ("half-lod", "lod-plus-half", "zero-non-detects", "all").
const char* OptionText(NonDetectRule rule);
const char* OptionText(NotQuantifiedRule rule);
const char* OptionText(CropTreatedRule rule);
const char* OptionText(Bound bound);
const char* OptionText(BoundChoice bound);
// The option a word names; nullopt for any other text.
std::optional<NonDetectRule> NonDetectRuleFrom(std::string_view text);
std::optional<NotQuantifiedRule> NotQuantifiedRuleFrom(std::string_view text);
std::optional<CropTreatedRule> CropTreatedRuleFrom(std::string_view text);
std::optional<BoundChoice> BoundChoiceFrom(std::string_view text);

// A build as the user asked for it.
struct ResidueBuildSettings {
  std::string samples, rules;            // the input files, absolute
  std::string samplesShown, rulesShown;  // as named, in problems and the report
  std::string output;                    // the residue file named, absolute
  std::string chemical;
  float noel = 0, rfd = 0, qstar = 0;
  NonDetectRule nonDetects = NonDetectRule::HalfLod;
  NotQuantifiedRule notQuantified = NotQuantifiedRule::HalfLoq;
  CropTreatedRule cropTreated = CropTreatedRule::ZeroNonDetects;
  BoundChoice bound = BoundChoice::Middle;
};

// The bounds a choice writes, lower first.
std::vector<Bound> BoundsOf(BoundChoice choice);
// The residue file a bound is written to: the file named, or with --bound
// all the name with "-lower", "-middle" or "-upper" before its extension.
std::string ResidueFileOfBound(const ResidueBuildSettings& s, Bound bound);
// The chemical a bound's file carries: the name given, or with --bound all
// the name with "-lower", "-middle" or "-upper".
std::string ChemicalOfBound(const ResidueBuildSettings& s, Bound bound);
// The build report, beside the residue file named: "OUT.R98.build.txt".
std::string BuildReportFileFor(const std::string& output);
// The command line's arguments that repeat the build, as its manifest
// records them: the command, the samples file, then the options, the rules
// file among them (never where the residue file goes, which the manifest
// records in its settings).
std::vector<std::string> ResidueBuildArguments(const ResidueBuildSettings& s);
// What is wrong with the settings before any file is read ("" when
// nothing): the residue file's extension against the installation's, the
// chemical's name.
std::string ResidueBuildUsageProblem(const ModOrmid& m, const ResidueBuildSettings& s);

// --- The inputs as read ---

enum class SampleKind : std::uint8_t { Detected, NotQuantified, NonDetect };

struct Sample {
  int line = 0;
  SampleKind kind = SampleKind::Detected;
  double result = 0;  // a detected sample's
  std::optional<double> lod, loq;
};

struct SampledCommodity {
  std::string name;  // as the samples file first writes it
  int firstLine = 0;
  std::vector<Sample> samples;  // in the file's order
};

struct BuildRule {
  int line = 0;
  std::size_t commodity = 0;  // in BuildInputs::commodities
  int food = 0;               // master food number
  std::optional<int> form;    // food-form code
  double processingFactor = 1;
  double percentCropTreated = 100;
  std::string note;
};

struct BuildInputs {
  std::vector<SampledCommodity> commodities;  // in the order the samples name them
  std::vector<BuildRule> rules;               // in the rules file's order
  std::size_t sampleCount = 0;
};

// The problems of both files, "FILE:LINE: problem" in the files' order and
// then the lines' (the first kBuildProblemsKept), and how many there are.
struct BuildProblems {
  std::vector<std::string> lines;
  std::size_t count = 0;
};
inline constexpr std::size_t kBuildProblemsKept = 1000;

// Reads and checks the samples and the rules files against the
// installation (read as residue tables are: streaming, within their size
// limits, UTF-8 with or without a byte-order mark, comma or semicolon
// separated with decimal commas). False when either has a problem.
bool ReadBuildInputs(const ModOrmid& m, const MasterFoods& foods, const ResidueBuildSettings& s,
                     BuildInputs& in, BuildProblems& problems);
// The same on the files' bytes (tests, fuzzing).
bool ReadBuildInputText(const ModOrmid& m, const MasterFoods& foods, const ResidueBuildSettings& s,
                        std::string_view samples, std::string_view rules, BuildInputs& in,
                        BuildProblems& problems);

// --- What a build makes ---

// One entry of a residue file built, as the build report lists it.
struct BuildRow {
  Bound bound = Bound::Middle;
  int food = 0;  // master food number
  std::string foodCode, foodName;
  std::optional<int> form;  // a food-form entry's code
  std::string formLabel;    // "200-Cooked Fresh N/S"
  // The rule it follows (in BuildInputs::rules); none for a food entry
  // written only to hold the food forms its rules name.
  std::optional<std::size_t> rule;
  int ruleLine = 0;  // its line in the rules file
  // A food form no rule names, given its food's own rule.
  bool fromFoodRule = false;
  std::string commodity;
  int samples = 0, detected = 0, notQuantified = 0, nonDetects = 0;
  int zeros = 0;  // non-detects counted as true zeros for the crop not treated
  // The values the other non-detects were given, lowest and highest.
  std::optional<double> nonDetectLow, nonDetectHigh;
  double mean = 0;
  double percentCropTreated = 100, processingFactor = 1;
  // As written: the mean rounded once to single precision, adjustment
  // factor #1 and #2.
  float residue = 0, adj1 = 1, adj2 = 1;
  std::string note;
};

struct ResidueBuild {
  ResidueBuildSettings settings;
  std::vector<Bound> bounds;
  std::vector<ResidueFile> files;  // one per bound, in the order of bounds
  std::vector<BuildRow> rows;      // per bound, in the order of its file
  struct Unruled {
    std::string commodity;
    int samples = 0;
  };
  std::vector<Unruled> unruled;  // commodities sampled that no rule names
  struct Food {
    std::string code, name;
  };
  std::vector<Food> noData;  // foods of the installation no rule names
  std::size_t sampleCount = 0, ruleCount = 0, commodityCount = 0;
};

// The residue files of the bounds asked for, and the rows that say how each
// entry came to be. `date` is the files' date ("mm-dd-yyyy").
ResidueBuild ComputeResidueBuild(const ModOrmid& m, const MasterFoods& foods, const BuildInputs& in,
                                 const ResidueBuildSettings& s, const std::string& date);

// The number of samples of the crop not treated that count as true zeros:
// (100 - PCT) x n / 100 to the nearest whole number, halves up, at most the
// non-detects.
int CropTreatedZeros(double percentCropTreated, int samples, int nonDetects);

}  // namespace ormid
