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
    struct Report {
        int index = 0;
        JobPlan plan;
        JobRenderer::Result result;
        bool skipped = false;   // not started: stopped, or refused before rendering
        QString skipReason;
    };

    explicit BatchRunner(const RenderOptions &options);

    // Refuses jobs whose output would replace their source unless allowed.
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
