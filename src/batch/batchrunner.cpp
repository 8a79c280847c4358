#include "batch/batchrunner.h"

#include "batch/outputnames.h"
#include "imaging/codecs/picturebuffer.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

BatchRunner::BatchRunner(const RenderOptions &options)
    : m_options(options)
{
}

void BatchRunner::run(const std::vector<QStringList> &rows, const std::atomic_bool &stop,
                      const std::function<void(const Report &)> &report)
{
    const int count = int(rows.size());
    std::vector<Report> reports(static_cast<size_t>(count));
    std::vector<bool> runnable(size_t(count), false);

    // Planning reads each file's date: cheap next to rendering, and done in job order so
    // that same-second names are numbered the same way every time.
    {
        JobRenderer planner(m_options);
        OutputNames names;
        for (int i = 0; i < count; ++i) {
            Report &r = reports[size_t(i)];
            r.index = i;
            r.plan = planner.plan(rows[size_t(i)]);
            if (!r.plan.error.isEmpty()) {
                r.result.outcome = JobRenderer::Outcome::InvalidSettings;
                r.result.detail = r.plan.error;
                continue;
            }
            if (!m_overwriteAllowed && r.plan.replacesSource()) {
                r.skipped = true;
                r.skipReason = QStringLiteral("would replace the source");
                continue;
            }
            r.plan.output = names.claim(r.plan.output);
            runnable[size_t(i)] = true;
        }
    }

    std::mutex mutex;
    std::condition_variable doneChanged;
    std::vector<bool> done(size_t(count), false);
    int next = 0;

    auto worker = [&] {
        JobRenderer renderer(m_options);
        for (;;) {
            int i;
            {
                std::lock_guard<std::mutex> lock(mutex);
                while (next < count && !runnable[size_t(next)]) {
                    done[size_t(next)] = true;
                    ++next;
                }
                if (next >= count)
                    break;
                i = next++;
            }
            Report &r = reports[size_t(i)];
            if (stop.load()) {
                r.skipped = true;
                r.skipReason = QStringLiteral("stopped");
            } else {
                r.result = renderer.render(r.plan);
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                done[size_t(i)] = true;
            }
            doneChanged.notify_all();
        }
        doneChanged.notify_all();
    };

    const int threads = std::min(m_threads, std::max(count, 1));
    std::vector<std::thread> pool;
    pool.reserve(size_t(threads));
    for (int t = 0; t < threads; ++t) {
        try {
            pool.emplace_back(worker);
        } catch (const std::system_error &) {
            break; // fewer threads than asked: the ones started do all the work
        }
    }
    if (pool.empty())
        worker();

    for (int i = 0; i < count; ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            doneChanged.wait(lock, [&] { return done[size_t(i)]; });
        }
        report(reports[size_t(i)]);
    }
    for (std::thread &t : pool)
        t.join();
    Codec::releaseSparePictureBuffers();
}
