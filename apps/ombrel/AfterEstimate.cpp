#include "apps/ombrel/AfterEstimate.h"

#include <string>
#include <system_error>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/diagnostics/StudyDiagnostics.h"

namespace ombrel {

bool ResultsWrittenSince(const StudyFiles& study, std::filesystem::file_time_type since) {
    std::error_code error;
    const std::filesystem::file_time_type written = std::filesystem::last_write_time(study.Summary(), error);
    return !error && written >= since;
}

bool AfterCompletedEstimate(const StudyFiles& study, const ChainRunReport& report, std::FILE* out,
                            Messenger& messenger) {
    try {
        const DiagnosticsReport diagnostics = DiagnoseStudy(study, report.chainCount);
        WriteDiagnostics(study, diagnostics);
        const std::string verdict = "\n" + VerdictText(diagnostics);
        std::fwrite(verdict.data(), 1, verdict.size(), out);
        std::fflush(out);
        return true;
    } catch (const OmbrelError& failure) {
        messenger.Show(Format("The estimation is complete, but its convergence diagnostics could not be "
                              "written: %s",
                              failure.what()),
                       MessageIcon::Exclamation);
        return false;
    }
}

}  // namespace ombrel
