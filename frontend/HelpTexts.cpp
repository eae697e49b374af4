#include "frontend/HelpTexts.h"

#include "common/SettingsSchema.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

// A range end as the help texts write it: a whole number.
int End(double value) { return static_cast<int>(value); }

}  // namespace

std::string MainWindowHelpText(MainControl control) {
    switch (control) {
        case MainControl::DataFile:
            return "The data file contains the respondent data to be used for estimation.  Data files are "
                   "in the form <study>.cho or <study>.chs.  In addition, there must also be a <study>.att "
                   "file available.";
        case MainControl::PreliminaryIterations:
            return "The HB computation is iterative, and many iterations are usually required for the "
                   "process to converge.  The default number of preliminary iterations is 2,000.  Results "
                   "of subsequent iterations are averaged to estimate respondent part worths.\n\nDuring the "
                   "computation several statistics are provided and also saved in the <study>.log file "
                   "which can help you decide whether convergence has occurred.  These are 'Pct. Cert.' and "
                   "'RLH', both monotonically related to the likelihood, plus 'Avg. Variance' and "
                   "'Parameter RMS', which also increase with the likelihood.\n\nIf you watch the progress "
                   "of these statistics and determine that they are no longer trending up, then you may "
                   "wish to end the preliminary phase of the computation by pressing ESC and resetting some "
                   "parameters.";
        case MainControl::DrawsPerRespondent:
            return "After convergence, subsequent iterations are regarded as random draws from the "
                   "distributions of respondent part worths.  Many of those are averaged to provide point "
                   "estimates of part worths.\n\nThe default is to use 1,000 random draws.  More precision "
                   "can be achieved by using more.  If you decide to save them, check that you have enough "
                   "free space on your hard disk.  One way to do that is first to save the default number, "
                   "see how large that file is, and then go back later to perform more iterations and save "
                   "a larger number of them.";
        case MainControl::DrawSkip:
            return "During each iteration a candidate estimate of part worths for each respondent is "
                   "evaluated.  If it has higher posterior probability, it is accepted, but the acceptance "
                   "rate is only about 30%.  This means that estimates from adjacent iterations are likely "
                   "to be identical.\n\nTo decrease the dependence among random draws, you may elect to use "
                   "only the results of every kth iteration.  The skip factor is the value of k.\n\nThe "
                   "default is to save each 10th draw.  More precision can be achieved by a larger skip "
                   "factor, but that will increase the number of iterations that must be done.";
        case MainControl::LogSkip:
            return "A record of each iteration can be saved in a <study>.log file, which can be useful "
                   "later for checking that the process has converged.\n\nHowever, since you will probably "
                   "do thousands of iterations, you may not want to save as large a file as would be "
                   "required to hold results for every iteration.  You can specify a skip factor.  The "
                   "default skip factor of 100 means historical results will be saved only for each 100th "
                   "iteration.";
        case MainControl::SaveDraws:
            return "You have two options: You can save the random draws, and after iterations have "
                   "concluded they will be averaged to obtain point estimates.  Or you can elect not to "
                   "save them, in which case their averages and standard deviations are computed `on the "
                   "fly' and are available afterwards.\n\nIf the random draws are not of interest to you, "
                   "electing not to save them will greatly reduce your memory requirements and speed up the "
                   "computation slightly.  Most of the information they would contain will be summarized by "
                   "their means and standard deviations.\n\nThe default is not to save the random draws.";
        case MainControl::TotalTaskWeight:
            return Format(
                "Respondents use unknown processes in allocating constant sum points.  At one extreme, "
                "they allocate each point by making an independent choice.  At the other extreme, they "
                "award all points to the best alternative.  Or they do something in between, which "
                "provides more information than a single choice, but less than independent "
                "decisions.\n\nYou may choose a value between %d and %d to indicate the weight given to "
                "the constant sum data in each task.  A weight of 1 means each task is equivalent to a "
                "single choice.  A weight of 10 means it contains as much information as 10 independent "
                "choice tasks.\n\nThe default is 5.  Experience suggests the quality of the results is "
                "not very sensitive to this value, and the default works well under most conditions.",
                End(Setting(SettingId::TotalTaskWeight).low), End(Setting(SettingId::TotalTaskWeight).high));
        case MainControl::AdvancedSettings:
            return "Modify the advanced settings.";
        case MainControl::EstimateParameters:
            return "Estimate parameters for each respondent.";
        case MainControl::RestoreDefaults:
            return "";
    }
    return "";
}

std::string AdvancedSettingsHelpText(AdvancedControl control) {
    switch (control) {
        case AdvancedControl::SmartStart:
            return "Select whether to use 'smart' starting estimates for betas and alpha.  The 'smart' "
                   "starts are estimated using a Pseudo-OLS procedure and generally reduce the time to "
                   "convergence significantly.\n\nWhen there are very few choice tasks per person relative "
                   "to the number of parameters to be estimated, or when there are many levels within an "
                   "attribute, the 'smart' start may cause problems for proper convergence and "
                   "estimation.\n\nIf you are in doubt, do not use the 'smart' start, and all elements of "
                   "beta and alpha will begin at zero.  In this case, we recommend increasing the initial "
                   "iterations prior to assuming convergence to about 5,000 to 10,000 or more.";
        case AdvancedControl::PriorDegreesOfFreedom:
            return Format(
                "This value is the additional degrees of freedom for the prior covariance matrix (not "
                "including # parameters estimated), and can be set from %d to %d.  The higher this "
                "value relative to sample size, the greater the influence of the prior variance.  The "
                "default is 5.",
                End(Setting(SettingId::PriorDegreesOfFreedom).low),
                End(Setting(SettingId::PriorDegreesOfFreedom).high));
        case AdvancedControl::PriorVariance:
            return "Select a prior variance for the prior covariance matrix.  The default is 2.0.  "
                   "Increasing the prior variance tends to place more weight on fitting each individual’s "
                   "data, and places less emphasis on 'borrowing' information from the population "
                   "parameters.  The degree of influence the prior variance has on the posterior estimates "
                   "is strongly influenced by the value for the prior degrees of freedom and the amount of "
                   "information available at the individual level.";
        case AdvancedControl::EffectsCoding:
            return "With effects coding, the effect for the 'omitted' (last) level is equal to negative the "
                   "sum of the other levels within the same attribute.  The resulting part worths are thus "
                   "zero-centered within each attribute.  This is the default method used in our Pellik "
                   "software.  We generally recommend effects coding.";
        case AdvancedControl::DummyCoding:
            return "With dummy coding, the effect for the 'omitted' (last) level is equal to zero, and the "
                   "other levels within the same attribute are measured with respect to this reference zero "
                   "level.  With dummy coding, the interpretation of main effects and first-order "
                   "interactions is more difficult, as they are no longer separately interpretable.";
        case AdvancedControl::RandomSeed:
            // Seeds from 1 up: 0 stands for the time of day.
            return Format(
                "Use this value to seed the random number generator.  0 means to use the time of day as "
                "the seed.  If for some reason you need your results to be repeatable, use an integer "
                "between 1-%d.",
                End(Setting(SettingId::RandomSeed).high));
        case AdvancedControl::Ok:
            return "Save these options and return to the main window.";
        case AdvancedControl::Cancel:
            return "Ignore any changes made and return to the main window.";
        case AdvancedControl::RestoreDefaults:
            return "";
    }
    return "";
}

}  // namespace ombrel
