#pragma once

// Every file of one study, named once. A study is its data file "<folder>/<name>.cho" (discrete
// choice) or ".chs" (allocation); its input files, results and restart file are "<folder>/<name>"
// plus an extension of their own, and the prepared and scratch files have fixed names inside the
// folder. The extension test ignores case; the derived names keep the data file's own spelling.

#include <optional>
#include <string>
#include <string_view>

namespace ombrel {

enum class DataKind { Choice, Allocation };

// The fixed names inside a study folder and beside the programs.
inline constexpr const char* kPreparedDataFileName = "qebdat.tmp";
inline constexpr const char* kAttributeLabelFileName = "qebatt.tmp";
inline constexpr const char* kPreparationScratchFileName = "tempfile";
inline constexpr const char* kSavedDrawScratchFileName = "betas.tmp";
inline constexpr const char* kDrawAccumulatorFileName = "betas.upd";
inline constexpr const char* kSortedDrawFileName = "betas.srt";
inline constexpr const char* kDrawSortScratchFileName = "tempb";
inline constexpr const char* kEstimatorProgramName = "kivotra";
inline constexpr const char* kNamesFileName = "names.pellik";
inline constexpr const char* kSettingsExtension = ".set";
inline constexpr const char* kChoiceDataExtension = ".cho";
inline constexpr const char* kAllocationDataExtension = ".chs";
inline constexpr const char* kRestartExtension = ".res";
inline constexpr const char* kResumeExtension = ".resume";

// The resume file that belongs beside a restart file (a study's or a chain's).
std::string ResumeFileOf(const std::string& restartFile);

class StudyFiles {
public:
    // The kind a data file name gives, by its extension; nothing for any other name, and for a
    // name holding a NUL byte, which would cut it short on its way to the file system.
    static std::optional<DataKind> KindOf(std::string_view dataFilePath);
    // The study of a data file; nothing when KindOf gives nothing.
    static std::optional<StudyFiles> ForDataFile(const std::string& dataFilePath);

    DataKind Kind() const { return kind_; }
    bool IsChoiceData() const { return kind_ == DataKind::Choice; }

    const std::string& DataFile() const { return dataFile_; }
    // The data file path less its extension: what every study file's name starts with.
    const std::string& Name() const { return name_; }
    // Up to and including the last "/"; empty for a data file in the working directory.
    const std::string& Folder() const { return folder_; }
    // The name's last component ("coffee" for "/data/coffee.cho").
    std::string BaseName() const;

    // Input files.
    std::string Settings() const { return name_ + kSettingsExtension; }
    std::string Attributes() const { return name_ + ".att"; }
    std::string Effects() const { return name_ + ".eff"; }
    std::string Values() const { return name_ + ".val"; }
    std::string Qualifiers() const { return name_ + ".qal"; }
    std::string TaskSubset() const { return name_ + ".sub"; }
    std::string Constraints() const { return name_ + ".con"; }
    std::string CustomPrior() const { return name_ + ".mtrx"; }

    // Results, histories, the log and the restart file.
    std::string Log() const { return name_ + ".log"; }
    std::string Restart() const { return name_ + kRestartExtension; }
    // Beside the restart file: the full state of a run stopped between iterations, for an exact resume.
    std::string Resume() const { return name_ + kResumeExtension; }
    std::string AlphaHistory() const { return name_ + ".alp"; }
    std::string BetaHistory() const { return name_ + ".bet"; }
    std::string CovarianceHistory() const { return name_ + ".cov"; }
    std::string PartWorths() const { return name_ + ".hbu"; }
    std::string Layout() const { return name_ + ".lay"; }
    std::string Spreadsheet() const { return name_ + ".csv"; }
    std::string StandardDeviations() const { return name_ + ".std"; }
    std::string Draws() const { return name_ + ".dra"; }
    std::string Summary() const { return name_ + ".sum"; }
    // The convergence diagnostics: the table of every monitored quantity and the verdict text.
    std::string DiagnosticsTable() const { return name_ + "_diagnostics.csv"; }
    std::string DiagnosticsVerdict() const { return name_ + ".diag"; }
    // The analyses of the results: attribute importances and the holdout validation.
    std::string Importances() const { return name_ + "_importances.csv"; }
    std::string Holdout() const { return name_ + "_holdout.csv"; }
    // The report of the results: one self-contained XHTML page.
    std::string Report() const { return name_ + "_report.html"; }
    // Locked by the estimator while it runs (see StudyRunLock); gone after the run.
    std::string RunLock() const { return name_ + ".run"; }

    // Chain k (from 1) of a run of several chains keeps a complete study result of its own, under
    // the study's own name, in "<folder>/<name>_chain<k>/".
    std::string ChainFolder(int chain) const;
    StudyFiles ForChain(int chain) const;

    // The prepared files and the scratch files, inside the folder.
    std::string PreparedData() const { return folder_ + kPreparedDataFileName; }
    std::string AttributeLabels() const { return folder_ + kAttributeLabelFileName; }
    std::string PreparationScratch() const { return folder_ + kPreparationScratchFileName; }
    std::string SavedDrawScratch() const { return folder_ + kSavedDrawScratchFileName; }
    std::string DrawAccumulators() const { return folder_ + kDrawAccumulatorFileName; }
    std::string SortedDraws() const { return folder_ + kSortedDrawFileName; }
    std::string DrawSortScratch() const { return folder_ + kDrawSortScratchFileName; }

private:
    StudyFiles(std::string dataFile, DataKind kind);

    std::string dataFile_;
    DataKind kind_;
    std::string name_;
    std::string folder_;
};

// The fixed names inside any folder, for code that knows the folder but not the study.
inline std::string PreparedDataPath(const std::string& folder) { return folder + kPreparedDataFileName; }
inline std::string AttributeLabelPath(const std::string& folder) { return folder + kAttributeLabelFileName; }

}  // namespace ombrel
