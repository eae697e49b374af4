// Writes the example study "coffee": a discrete-choice survey of ground-coffee bags, simulated from
// known part-worths so that an estimation can be compared with the truth.
//
//   generate_example_study FOLDER   writes FOLDER/coffee.att, FOLDER/coffee.cho, FOLDER/coffee_truth.csv
//
// 300 respondents answer 12 tasks of 3 concepts plus None. Each respondent's part-worths are the
// population means plus normal deviations (effects-coded: the last level of every attribute is minus
// the sum of the others); every choice maximises utility plus a Gumbel error (a multinomial logit).
// The random numbers come from MT19937-64 with a fixed seed through our own uniform and normal
// transforms, so the files are the same with any standard library.
//
// coffee.cho, per respondent: "id 1 5 12 1", the respondent variable (1 light, 2 heavy coffee
// drinker), then per task "3 1", three rows of five level codes and "choice seconds" (choice 4 is
// None). coffee.att: one level text per line, a blank line between levels, two between attributes.
// coffee_truth.csv: one line per level (in the order of the ".hbu" values) and one for None, with
// the population mean and the mean over the 300 simulated respondents.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

struct Attribute {
    std::vector<std::string> levels;
    std::vector<double> means;  // effects-coded population means, summing to zero
    double spread;              // standard deviation of each free part-worth across respondents
};

const std::vector<Attribute> kAttributes = {
    {{"Kaffa Roasters", "Morning Peak", "Bean & Bloom", "Harbor Blend"}, {0.6, 0.2, -0.1, -0.7}, 0.5},
    {{"$6.99 per bag", "$8.99 per bag", "$10.99 per bag", "$12.99 per bag"}, {1.2, 0.5, -0.4, -1.3}, 0.6},
    {{"Light roast", "Medium roast", "Dark roast"}, {-0.3, 0.4, -0.1}, 0.7},
    {{"Whole bean", "Coarse grind", "Medium grind", "Fine grind", "Espresso grind"},
     {0.5, -0.2, 0.3, -0.1, -0.5},
     0.5},
    {{"Fair Trade certified", "No certification"}, {0.35, -0.35}, 0.3},
};
constexpr double kNoneMean = -0.2;
constexpr double kNoneSpread = 0.8;
constexpr int kRespondents = 300;
constexpr int kTasks = 12;
constexpr int kConcepts = 3;
constexpr uint64_t kSeed = 20240607;

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

bool WriteFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

std::string Printf(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate_example_study FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    Random random(kSeed);

    std::string att;
    for (size_t a = 0; a < kAttributes.size(); ++a) {
        if (a > 0) att += "\n\n";
        for (size_t l = 0; l < kAttributes[a].levels.size(); ++l) {
            if (l > 0) att += "\n";
            att += kAttributes[a].levels[l] + "\n";
        }
    }

    std::vector<std::vector<double>> sums(kAttributes.size());
    for (size_t a = 0; a < kAttributes.size(); ++a) sums[a].assign(kAttributes[a].levels.size(), 0.0);
    double noneSum = 0.0;

    std::string cho;
    for (int respondent = 1; respondent <= kRespondents; ++respondent) {
        std::vector<std::vector<double>> betas(kAttributes.size());
        for (size_t a = 0; a < kAttributes.size(); ++a) {
            const Attribute& attribute = kAttributes[a];
            double free = 0.0;
            for (size_t l = 0; l + 1 < attribute.levels.size(); ++l) {
                betas[a].push_back(attribute.means[l] + attribute.spread * random.Normal());
                free += betas[a].back();
            }
            betas[a].push_back(-free);
            for (size_t l = 0; l < betas[a].size(); ++l) sums[a][l] += betas[a][l];
        }
        const double none = kNoneMean + kNoneSpread * random.Normal();
        noneSum += none;

        const int drinker = 1 + random.Below(2);
        cho += std::to_string(respondent) + " 1 " + std::to_string(kAttributes.size()) + " " +
               std::to_string(kTasks) + " 1\n" + std::to_string(drinker) + "\n";
        for (int task = 0; task < kTasks; ++task) {
            // Every attribute shows different levels in the three concepts where it has enough of
            // them (a random pick of distinct levels); a two-level attribute repeats one.
            std::vector<std::vector<int>> codes(kConcepts, std::vector<int>(kAttributes.size()));
            for (size_t a = 0; a < kAttributes.size(); ++a) {
                std::vector<int> order;
                const int levelCount = static_cast<int>(kAttributes[a].levels.size());
                for (int l = 0; l < levelCount; ++l) order.push_back(l);
                for (int i = levelCount - 1; i > 0; --i) std::swap(order[i], order[random.Below(i + 1)]);
                for (int c = 0; c < kConcepts; ++c) {
                    codes[c][a] = c < levelCount ? order[c] : random.Below(levelCount);
                }
            }
            int choice = kConcepts + 1;
            double best = none + random.Gumbel();
            for (int c = 0; c < kConcepts; ++c) {
                double utility = random.Gumbel();
                for (size_t a = 0; a < kAttributes.size(); ++a) utility += betas[a][codes[c][a]];
                if (utility > best) {
                    best = utility;
                    choice = c + 1;
                }
            }
            cho += std::to_string(kConcepts) + " 1\n";
            for (int c = 0; c < kConcepts; ++c) {
                for (size_t a = 0; a < kAttributes.size(); ++a) {
                    cho += (a > 0 ? " " : "") + std::to_string(codes[c][a] + 1);
                }
                cho += "\n";
            }
            cho += std::to_string(choice) + " " + std::to_string(4 + random.Below(20)) + "\n";
        }
    }

    std::string truth = "attribute,level,label,population_mean,respondent_mean\n";
    for (size_t a = 0; a < kAttributes.size(); ++a) {
        for (size_t l = 0; l < kAttributes[a].levels.size(); ++l) {
            truth += std::to_string(a + 1) + "," + std::to_string(l + 1) + "," + kAttributes[a].levels[l] +
                     "," + Printf("%.4f", kAttributes[a].means[l]) + "," +
                     Printf("%.4f", sums[a][l] / kRespondents) + "\n";
        }
    }
    truth += "0,0,NONE," + Printf("%.4f", kNoneMean) + "," + Printf("%.4f", noneSum / kRespondents) + "\n";

    for (const auto& [name, text] : {std::pair<std::string, const std::string&>{"coffee.att", att},
                                     {"coffee.cho", cho},
                                     {"coffee_truth.csv", truth}}) {
        if (!WriteFile(folder + name, text)) {
            std::fprintf(stderr, "generate_example_study: %s%s could not be written\n", folder.c_str(),
                         name.c_str());
            return 1;
        }
    }
    return 0;
}
