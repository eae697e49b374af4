// Writes the example study "coffee": a discrete-choice survey of ground-coffee bags, simulated from
// known part-worths so that an estimation, and every analysis of its results, can be compared with
// the truth.
//
//   generate_example_study FOLDER   writes FOLDER/coffee.att, coffee.cho, coffee.sub, coffee.val,
//                                   coffee_truth.csv and coffee_truth.hbu
//
// 300 respondents answer 14 tasks of 3 concepts plus None. Tasks 5 and 10 are holdout tasks: the same
// three concepts for everyone, left out of the estimation by coffee.sub, which lists the other 12.
// The other tasks show random concepts (different levels in the three concepts wherever an attribute
// has enough of them).
//
// Each respondent's part-worths are the population means plus normal deviations drawn for every level
// and centred within the attribute, so that they stay effects-coded (summing to zero) and every level
// varies alike. The spreads (standard deviations across respondents, 0.8 to 1.5 on the logit scale)
// are of the size published choice studies report, and of the order the estimator's default prior
// assumes (a prior variance of 2, which gives a level of an L-level attribute the variance 2 (L-1)/L).
// Every choice maximises utility plus a Gumbel error (a multinomial logit). The random numbers come
// from MT19937-64 with a fixed seed through our own uniform and normal transforms, so the files are
// the same with any standard library.
//
// coffee.cho, per respondent: "id 1 5 14 1", the respondent variable (1 light, 2 heavy coffee
// drinker), then per task "3 1", three rows of five level codes and "choice seconds" (choice 4 is
// None). coffee.att: one level text per line, a blank line between levels, two between attributes.
// coffee.val: per attribute its label line and one value per level.
// coffee_truth.csv: one line per level (in the order of the ".hbu" values) and one for None, with the
// population mean and standard deviation, and the mean and standard deviation over the 300 simulated
// respondents. coffee_truth.hbu: the true part-worths of every respondent in the part-worth file's
// format, with the root likelihood of the true model on the 12 estimation tasks, so that the analyses
// run on the truth as on an estimate.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

struct Attribute {
    std::string label;
    std::vector<std::string> levels;
    std::string values;         // the level values of the values file
    std::vector<double> means;  // effects-coded population means, summing to zero
    double spread;              // standard deviation of each level's part-worth across respondents
};

const std::vector<Attribute> kAttributes = {
    {"Brand",
     {"Kaffa Roasters", "Morning Peak", "Bean & Bloom", "Harbor Blend"},
     "1 2 3 4",
     {0.8, 0.3, -0.2, -0.9},
     1.2},
    {"Price",
     {"$6.99 per bag", "$8.99 per bag", "$10.99 per bag", "$12.99 per bag"},
     "6.99 8.99 10.99 12.99",
     {1.6, 0.6, -0.5, -1.7},
     1.1},
    {"Roast", {"Light roast", "Medium roast", "Dark roast"}, "1 2 3", {-0.4, 0.7, -0.3}, 1.4},
    {"Grind",
     {"Whole bean", "Coarse grind", "Medium grind", "Fine grind", "Espresso grind"},
     "1 2 3 4 5",
     {0.6, -0.4, 0.5, -0.2, -0.5},
     1.0},
    {"Certification", {"Fair Trade certified", "No certification"}, "1 2", {0.45, -0.45}, 0.8},
};
constexpr double kNoneMean = -0.5;
constexpr double kNoneSpread = 1.5;
constexpr int kRespondents = 300;
constexpr int kTasks = 14;
constexpr int kConcepts = 3;
constexpr uint64_t kSeed = 20240607;

// The holdout tasks (1-based) and their concepts, one level code per attribute, the same for everyone:
// in each, three brands at three prices.
constexpr size_t kAttributeCount = 5;
struct HoldoutTask {
    int task;
    int codes[kConcepts][kAttributeCount];
};
const HoldoutTask kHoldouts[] = {
    {5, {{1, 3, 2, 1, 2}, {2, 2, 3, 3, 1}, {4, 1, 1, 2, 2}}},
    {10, {{3, 2, 2, 4, 1}, {1, 4, 3, 5, 1}, {2, 1, 1, 1, 2}}},
};

class Random {
public:
    explicit Random(uint64_t seed) : engine_(seed) {}
    // Uniform on (0, 1), never 0: the top 53 bits plus half a step.
    double Uniform() { return (static_cast<double>(engine_() >> 11) + 0.5) * 0x1.0p-53; }
    double Normal() {  // Box-Muller, one value per pair of uniforms
        return std::sqrt(-2.0 * std::log(Uniform())) * std::cos(6.283185307179586 * Uniform());
    }
    double Gumbel() { return -std::log(-std::log(Uniform())); }
    int Below(int n) { return static_cast<int>(Uniform() * n); }

private:
    std::mt19937_64 engine_;
};

std::string Printf(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// The values of a respondent: every level of every attribute, then None.
size_t ValueCount() {
    size_t values = 1;
    for (const Attribute& attribute : kAttributes) values += attribute.levels.size();
    return values;
}

const HoldoutTask* HoldoutOf(int task) {
    for (const HoldoutTask& holdout : kHoldouts) {
        if (holdout.task == task) return &holdout;
    }
    return nullptr;
}

// One respondent's true part-worths: every level of every attribute in attribute order, then None.
std::vector<double> DrawPartWorths(Random& random) {
    std::vector<double> values;
    for (const Attribute& attribute : kAttributes) {
        const size_t levels = attribute.levels.size();
        // Centring L independent deviations of sd s leaves each level the sd s sqrt((L-1)/L).
        const double scale = attribute.spread * std::sqrt(levels / (levels - 1.0));
        std::vector<double> deviations;
        double sum = 0.0;
        for (size_t l = 0; l < levels; ++l) {
            deviations.push_back(scale * random.Normal());
            sum += deviations.back();
        }
        for (size_t l = 0; l < levels; ++l)
            values.push_back(attribute.means[l] + deviations[l] - sum / levels);
    }
    values.push_back(kNoneMean + kNoneSpread * random.Normal());
    return values;
}

// The concepts of a task, as 0-based level codes.
std::vector<std::vector<int>> TaskConcepts(Random& random, int task) {
    std::vector<std::vector<int>> codes(kConcepts, std::vector<int>(kAttributes.size()));
    if (const HoldoutTask* holdout = HoldoutOf(task)) {
        for (int c = 0; c < kConcepts; ++c) {
            for (size_t a = 0; a < kAttributes.size(); ++a) codes[c][a] = holdout->codes[c][a] - 1;
        }
        return codes;
    }
    for (size_t a = 0; a < kAttributes.size(); ++a) {
        std::vector<int> order;
        const int levelCount = static_cast<int>(kAttributes[a].levels.size());
        for (int l = 0; l < levelCount; ++l) order.push_back(l);
        for (int i = levelCount - 1; i > 0; --i) std::swap(order[i], order[random.Below(i + 1)]);
        for (int c = 0; c < kConcepts; ++c)
            codes[c][a] = c < levelCount ? order[c] : random.Below(levelCount);
    }
    return codes;
}

// The utilities of a task's alternatives for one respondent: the concepts, then None.
std::vector<double> Utilities(const std::vector<double>& partWorths,
                              const std::vector<std::vector<int>>& codes) {
    std::vector<double> utilities;
    for (const std::vector<int>& row : codes) {
        double utility = 0.0;
        size_t first = 0;
        for (size_t a = 0; a < kAttributes.size(); ++a) {
            utility += partWorths[first + static_cast<size_t>(row[a])];
            first += kAttributes[a].levels.size();
        }
        utilities.push_back(utility);
    }
    utilities.push_back(partWorths.back());
    return utilities;
}

// The logit probability of alternative chosen (0-based) among utilities.
double ChoiceProbability(const std::vector<double>& utilities, size_t chosen) {
    double sum = 0.0;
    for (double utility : utilities) sum += std::exp(utility - utilities[chosen]);
    return 1.0 / sum;
}

struct Study {
    std::string cho;
    std::string hbu;
    std::vector<double> sums;     // per value, over respondents
    std::vector<double> squares;  // per value, over respondents
};

void AppendPartWorthRecord(std::string& hbu, int respondent, double rlh, const std::vector<double>& values) {
    char header[64];
    std::snprintf(header, sizeof header, "%7d %7.0lf  0 %zu -1\n", respondent, rlh * 1000.0, values.size());
    hbu += header;
    for (size_t k = 0; k < values.size(); ++k) {
        if (k > 0 && k % 10 == 0) hbu += "\n";
        hbu += Printf("%7.3lf ", values[k]);
    }
    hbu += "\n";
}

// One respondent: the part-worths, the data record, and the truth's record in the part-worth file.
void SimulateRespondent(Random& random, int respondent, Study& study) {
    const std::vector<double> partWorths = DrawPartWorths(random);
    for (size_t k = 0; k < partWorths.size(); ++k) {
        study.sums[k] += partWorths[k];
        study.squares[k] += partWorths[k] * partWorths[k];
    }
    const int drinker = 1 + random.Below(2);
    study.cho += std::to_string(respondent) + " 1 " + std::to_string(kAttributes.size()) + " " +
                 std::to_string(kTasks) + " 1\n" + std::to_string(drinker) + "\n";
    double logLikelihood = 0.0;
    for (int task = 1; task <= kTasks; ++task) {
        const std::vector<std::vector<int>> codes = TaskConcepts(random, task);
        const std::vector<double> utilities = Utilities(partWorths, codes);
        // None is drawn first, so that its error comes before the concepts' in the stream.
        size_t choice = kConcepts;
        double best = utilities[kConcepts] + random.Gumbel();
        for (size_t c = 0; c < kConcepts; ++c) {
            const double utility = utilities[c] + random.Gumbel();
            if (utility > best) {
                best = utility;
                choice = c;
            }
        }
        if (HoldoutOf(task) == nullptr) logLikelihood += std::log(ChoiceProbability(utilities, choice));
        study.cho += std::to_string(kConcepts) + " 1\n";
        for (const std::vector<int>& row : codes) {
            for (size_t a = 0; a < kAttributes.size(); ++a)
                study.cho += (a > 0 ? " " : "") + std::to_string(row[a] + 1);
            study.cho += "\n";
        }
        study.cho += std::to_string(choice + 1) + " " + std::to_string(4 + random.Below(20)) + "\n";
    }
    const int estimationTasks = kTasks - static_cast<int>(std::size(kHoldouts));
    AppendPartWorthRecord(study.hbu, respondent, std::exp(logLikelihood / estimationTasks), partWorths);
}

std::string AttributeText() {
    std::string att;
    for (size_t a = 0; a < kAttributes.size(); ++a) {
        if (a > 0) att += "\n\n";
        for (size_t l = 0; l < kAttributes[a].levels.size(); ++l) {
            if (l > 0) att += "\n";
            att += kAttributes[a].levels[l] + "\n";
        }
    }
    return att;
}

// The values file, here for its attribute labels (which the analyses show) and the prices as numbers,
// for a model with a linear price; the study estimates every attribute as part-worths.
std::string ValuesText() {
    std::string val;
    for (const Attribute& attribute : kAttributes) val += attribute.label + "\n" + attribute.values + "\n";
    return val;
}

std::string SubsetText() {
    std::string sub;
    for (int task = 1; task <= kTasks; ++task) {
        if (HoldoutOf(task) == nullptr) sub += std::to_string(task) + (task < kTasks ? " " : "\n");
    }
    return sub;
}

// The model lines of the part-worth file: counts, level counts, the effects matrix (every attribute a
// part-worth attribute, no interactions) and one label line per value.
std::string PartWorthHeader() {
    std::string text = std::to_string(kAttributes.size()) + " 1 " + std::to_string(ValueCount()) + " 1 1\n";
    for (const Attribute& attribute : kAttributes) text += std::to_string(attribute.levels.size()) + " ";
    text += "\n";
    for (size_t i = 0; i < kAttributes.size(); ++i) {
        for (size_t j = 0; j < kAttributes.size(); ++j) text += i == j ? "1 " : "0 ";
        text += "\n";
    }
    for (size_t a = 0; a < kAttributes.size(); ++a) {
        for (size_t l = 0; l < kAttributes[a].levels.size(); ++l)
            text +=
                std::to_string(a + 1) + " " + std::to_string(l + 1) + " " + kAttributes[a].levels[l] + "\n";
    }
    return text + "NONE\n";
}

std::string TruthRow(const std::string& key, double mean, double spread, const Study& study, size_t k) {
    const double respondentMean = study.sums[k] / kRespondents;
    const double variance =
        (study.squares[k] - kRespondents * respondentMean * respondentMean) / (kRespondents - 1);
    return key + "," + Printf("%.4f", mean) + "," + Printf("%.4f", spread) + "," +
           Printf("%.4f", respondentMean) + "," + Printf("%.4f", std::sqrt(variance)) + "\n";
}

std::string TruthText(const Study& study) {
    std::string truth = "attribute,level,label,population_mean,population_sd,respondent_mean,respondent_sd\n";
    size_t k = 0;
    for (size_t a = 0; a < kAttributes.size(); ++a) {
        for (size_t l = 0; l < kAttributes[a].levels.size(); ++l, ++k) {
            const std::string key =
                std::to_string(a + 1) + "," + std::to_string(l + 1) + "," + kAttributes[a].levels[l];
            truth += TruthRow(key, kAttributes[a].means[l], kAttributes[a].spread, study, k);
        }
    }
    return truth + TruthRow("0,0,NONE", kNoneMean, kNoneSpread, study, k);
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate_example_study FOLDER\n");
        return 2;
    }
    if (kAttributes.size() != kAttributeCount) {
        std::fprintf(stderr, "generate_example_study: the holdout tasks need a level of every attribute\n");
        return 1;
    }
    const std::string folder = std::string(argv[1]) + "/";
    Random random(kSeed);
    Study study;
    study.hbu = PartWorthHeader();
    study.sums.assign(ValueCount(), 0.0);
    study.squares.assign(ValueCount(), 0.0);
    for (int respondent = 1; respondent <= kRespondents; ++respondent)
        SimulateRespondent(random, respondent, study);

    for (const auto& [name, text] : {std::pair<std::string, std::string>{"coffee.att", AttributeText()},
                                     {"coffee.cho", study.cho},
                                     {"coffee.sub", SubsetText()},
                                     {"coffee.val", ValuesText()},
                                     {"coffee_truth.csv", TruthText(study)},
                                     {"coffee_truth.hbu", study.hbu}}) {
        if (!WriteFile(folder + name, text)) {
            std::fprintf(stderr, "generate_example_study: %s%s could not be written\n", folder.c_str(),
                         name.c_str());
            return 1;
        }
    }
    return 0;
}
