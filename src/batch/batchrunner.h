#pragma once

#include "batch/jobrenderer.h"

#include <QStringList>
#include <atomic>
#include <functional>
#include <vector>

// Renders a list of jobs with several renderers at once. Every job is planned first, in
// job order, so the output names (and their collision numbers) never depend on how many
// jobs run at once; results are reported in job order, on the calling thread.
class BatchRunner
{
public:
    // Why a job was not started.
    enum class Skip {
        None,
        Stopped,
        ReplacesSource,        // its output is its own source, and replacing is not allowed
        ReplacesOtherSource,   // its output is the source of another job of the run
    };
    struct Report {
        int index = 0;
        JobPlan plan;
        JobRenderer::Result result;
        Skip skip = Skip::None;
        bool skipped() const { return skip != Skip::None; }
        bool written() const { return !skipped() && result.ok(); }
    };

    explicit BatchRunner(const RenderOptions &options);

    // Whether a file at an output's name may be replaced, the job's own source included.
    // When not, a job whose output is its source is refused before it starts, and any
    // other file at the name makes the job end as Exists: the final rename never
    // replaces, so a file that appears meanwhile (another run's) is safe too. The source
    // of another job of the run is never replaced.
    void setOverwriteAllowed(bool allowed) { m_overwriteAllowed = allowed; }
    // Jobs rendered at once; at least one.
    void setThreads(int threads) { m_threads = threads < 1 ? 1 : threads; }

    // Renders the rows. report is called once per job, in job order. Jobs not started
    // when stop becomes true are reported as skipped; jobs under way finish.
    void run(const std::vector<QStringList> &rows, const std::atomic_bool &stop,
             const std::function<void(const Report &)> &report);

private:
    RenderOptions m_options;
    bool m_overwriteAllowed = false;
    int m_threads = 1;
};
