// The batch run of the main window: START and STOP, the scope, progress and savepic.
#include "app/widgets/tform1.h"

#include "app/widgets/piegauge.h"
#include "model/fileaccess.h"
#include "model/filenames.h"
#include "model/pathrules.h"
#include "imaging/codecs/picturebuffer.h"
#include "imaging/widgets/multiimageview.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QToolButton>

namespace {

const QString kStart = QStringLiteral("START");
const QString kStop = QStringLiteral("STOP");

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(FileNames::shown(path));
}

// Why a job was not written, in the window's words.
QString failureText(const JobPlan &plan, const JobRenderer::Result &result)
{
    const auto reason = [&] {
        return result.fileError != 0 ? FileAccess::germanReasonText(result.fileError) : result.detail;
    };
    switch (result.outcome) {
    case JobRenderer::Outcome::Written:
        return QString();
    case JobRenderer::Outcome::NotLoaded:
        return QStringLiteral("Bild kann nicht gelesen werden (%1)").arg(reason());
    case JobRenderer::Outcome::NoWriter:
        return QStringLiteral("Dateityp „%1“ kann nicht geschrieben werden")
            .arg(plan.row.value(Col::Suffix));
    case JobRenderer::Outcome::NotSaved:
        return QStringLiteral("Datei %1 kann nicht erstellt werden (%2)").arg(shownPath(plan.output), reason());
    case JobRenderer::Outcome::Exists:
        return QStringLiteral("Datei %1 existiert bereits").arg(shownPath(plan.output));
    case JobRenderer::Outcome::InvalidSettings:
        return result.detail;
    }
    return result.detail;
}

// One box for the whole run: every job that was not written, or was written from damaged
// picture data, with its reason.
QString runSummary(const QList<QPair<QString, QString>> &problems)
{
    QString text = problems.size() == 1
        ? QStringLiteral("Ein Bild wurde nicht wie gewünscht bearbeitet:\r")
        : QStringLiteral("%1 Bilder wurden nicht wie gewünscht bearbeitet:\r").arg(problems.size());
    for (const auto &[source, reason] : problems)
        text += QStringLiteral("\r") + shownPath(source) + QStringLiteral(": ") + reason;
    return text;
}

} // namespace

bool TForm1::isRunning() const
{
    return abcToggleBtn8->text() != kStart;
}

void TForm1::setRunButton(bool running)
{
    abcToggleBtn8->setText(running ? kStop : kStart);
    abcToggleBtn8->setStyleSheet(
        QStringLiteral("QToolButton { color: white; font-weight: bold; background: %1; }")
            .arg(running ? QStringLiteral("#ff0000") : QStringLiteral("#008000")));
}

void TForm1::resetScopeRequest()
{
    m_model.scopeSelected = true;
    m_model.scopeAsk = true;
}

void TForm1::SelektierteEintrge2Click()
{
    m_model.scopeSelected = true;
    m_model.scopeAsk = false;
    abcToggleBtn8Click();
}

void TForm1::AlleEintrge2Click()
{
    m_model.scopeSelected = false;
    m_model.scopeAsk = false;
    abcToggleBtn8Click();
}

void TForm1::abcToggleBtn8Click()
{
    abcToggleBtn8->setDown(false);
    if (isRunning()) {
        // STOP: the running loop sees the caption before its next job.
        setRunButton(false);
        return;
    }
    // An early exit leaves the scope request at "ask", so a later START never follows
    // a request the user no longer sees.
    if (m_model.entryCount() == 0) {
        resetScopeRequest();
        return;
    }
    // Replacing originals is destructive: only an explicit "&Ja" goes on, for each job
    // whose output is a picture of the list (its own source or another job's).
    m_renderer.setOptions(runOptions());
    m_confirmedReplacements.clear();
    m_runSources = SourceSet();
    for (int r = 0; r < m_model.entryCount(); ++r)
        m_runSources.insert(m_model.entry(r));
    for (const QString &replaced : sourcesTheRunWouldReplace()) {
        const QString question = QStringLiteral("Es werden Originaldateien überschrieben!\r(zB.: ")
            + shownPath(replaced) + QStringLiteral(")\r\rTrotzdem starten?");
        if (m_dialogs->ask(question) != UserDialogs::Answer::Yes) {
            resetScopeRequest();
            return;
        }
        m_confirmedReplacements.insert(PathRules::storedForm(replaced));
    }

    setRunButton(true);
    m_model.batchRunning = true;
    m_model.skipSelection = false;
    m_runNames = OutputNames();
    m_runProblems.clear();
    Gauge1->setProgress(0);
    Img2->hide();

    bool all = false;
    if (!m_model.scopeSelected && !m_model.scopeAsk)
        all = true;
    else if (m_model.scopeSelected && m_model.scopeAsk)
        all = m_dialogs->ask(QStringLiteral("Nur selektierte Einträge bearbeiten?"))
              == UserDialogs::Answer::No;

    RzStatusPane1->setText(QStringLiteral("BEARBEITUNG LÄUFT..."));
    if (all) {
        renderall();
    } else {
        resetScopeRequest();
        rendersel();
    }

    m_model.batchRunning = false;
    Gauge1->hide();
    resetScopeRequest();
    m_model.Img2.clearPicture();
    Img2->setVisible(CheckBox8->isChecked());
    guarded([&] { ListBox1Click(); });
    // The pictures of the run are gone; their memory is not kept while the window idles.
    Codec::releaseSparePictureBuffers();
    RzStatusPane1->setText(QStringLiteral("BEARBEITUNG FERTIG!"));
    if (!m_runProblems.isEmpty()) {
        const QString summary = runSummary(m_runProblems);
        m_runProblems.clear();
        m_dialogs->message(summary);
    }

    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

void TForm1::renderall()
{
    m_runTotal = 2 * m_model.entryCount();
    m_finishedCount = 0;
    m_model.batchRunning = true;
    Gauge1->show();
    for (int i = 0; i < m_model.entryCount(); ++i) {
        QCoreApplication::processEvents();
        if (!isRunning())
            return;
        renderJob(i);
    }
    setRunButton(false);
}

void TForm1::rendersel()
{
    m_runTotal = 2 * int(m_model.selectedEntries().size());
    m_finishedCount = 0;
    m_model.batchRunning = true;
    Gauge1->show();
    for (int i = 0; i < m_model.entryCount(); ++i) {
        if (!m_model.isSelected(i))
            continue;
        QCoreApplication::processEvents();
        if (!isRunning())
            return;
        renderJob(i);
    }
    setRunButton(false);
}

void TForm1::renderJob(int i)
{
    // Keys pressed before or during the run never make a job's selection be skipped.
    m_model.skipSelection = false;
    setFocusedEntry(i, false);
    // The selection step shows the job's settings in the controls and reports a row or a
    // date it cannot take; the job renderer then loads, stamps and writes the job itself.
    m_model.selectionOnly = true;
    guarded([&] { ListBox1Click(); });
    m_model.selectionOnly = false;
    savepic(i);
}

RenderOptions TForm1::runOptions() const
{
    RenderOptions options = RenderOptions::fromConfig(m_model.config, m_model.dpi);
    options.exifPriority = m_model.exifPriority;
    return options;
}

QStringList TForm1::sourcesTheRunWouldReplace()
{
    // Only an output beside a picture of the list can be one: other jobs need no date.
    QSet<QString> folders;
    for (int r = 0; r < m_model.entryCount(); ++r)
        folders.insert(PathRules::folderPart(m_model.entry(r)));
    QStringList replaced;
    OutputNames names;
    for (int r = 0; r < m_model.NGrid2.rowCount(); ++r) {
        const QStringList row = m_model.NGrid2.row(r);
        const QString source = row.value(Col::Datei);
        if (source.isEmpty())
            continue;
        if (row.value(Col::AVerz).isEmpty() && row.value(Col::TimeDN).isEmpty()) {
            replaced.append(source);
            continue;
        }
        const QString folder = row.value(Col::AVerz).isEmpty()
            ? PathRules::folderPart(source)
            : PathRules::folderPart(PathRules::join(row.value(Col::AVerz), QStringLiteral("x")));
        if (!folders.contains(folder))
            continue;
        const JobPlan plan = m_renderer.plan(row);
        if (!plan.error.isEmpty())
            continue;
        const QString output = names.claim(plan.output);
        if (m_runSources.contains(output))
            replaced.append(output);
    }
    return replaced;
}

void TForm1::savepic(int row)
{
    m_renderer.setOptions(runOptions());
    JobPlan plan = m_renderer.plan(m_model.NGrid2.row(row));
    // A row or date the selection step refused is not written, so no picture of another
    // source can be saved under its name; the run's summary names it.
    if (!plan.error.isEmpty()) {
        m_runProblems.append({plan.source, plan.error});
        return;
    }
    plan.output = m_runNames.claim(plan.output);
    // A picture of the list is replaced only after the question before the run.
    if (!m_confirmedReplacements.contains(PathRules::storedForm(plan.output))
        && !plan.replacesSource() && m_runSources.contains(plan.output)) {
        m_runProblems.append({plan.source, QStringLiteral("nicht geschrieben: %1 ist die Originaldatei "
                                                          "eines anderen Eintrags")
                                               .arg(shownPath(plan.output))});
        return;
    }
    const JobRenderer::Result result = m_renderer.render(plan, m_model.Img2);
    if (!result.ok()) {
        m_runProblems.append({plan.source, failureText(plan, result)});
        return;
    }
    if (!result.damage.isEmpty())
        m_runProblems.append({plan.source, QStringLiteral("geschrieben nach %1, aber die Bilddaten sind "
                                                          "beschädigt (%2)")
                                               .arg(shownPath(plan.output), result.damage)});
    QString status = QStringLiteral("BEARBEITUNG LÄUFT... ") + shownPath(plan.output);
    if (result.lossless)
        status += QStringLiteral(" (verlustfrei gestempelt)");
    else if (!result.fallback.isEmpty())
        status += QStringLiteral(" (neu kodiert)");
    RzStatusPane1->setText(status);
}
