// How the run goes on after the update check; apart from the check itself, so start-up's steps
// can name it without the check's window.
#pragma once

namespace update {

enum class UpdateCheckResult {
    Continue, // start-up goes on
    EndRun,   // an installer was started: the run ends, as it should
    Failed,   // no settings, no "AffID", or no display to ask on: the run ends after one line on
              // standard error
};

} // namespace update
