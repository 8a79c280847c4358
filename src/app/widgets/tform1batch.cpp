// The batch run of the main window: START and STOP, the scope, progress and savepic.
#include "app/widgets/tform1.h"

#include "app/widgets/piegauge.h"
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
    for (int r = 0; r < m_model.NGrid2.rowCount(); ++r) {
        if (!m_model.NGrid2.cell(Col::AVerz, r).isEmpty()
            || !m_model.NGrid2.cell(Col::TimeDN, r).isEmpty())
            continue;
        const QString question = QStringLiteral("Es werden Originaldateien überschrieben!\r(zB.: ")
            + m_model.entry(r) + QStringLiteral(")\r\rTrotzdem starten?");
        // Replacing originals is destructive: only an explicit "&Ja" goes on.
        if (m_dialogs->ask(question) != UserDialogs::Answer::Yes) {
            resetScopeRequest();
            return;
        }
    }

    setRunButton(true);
    m_model.batchRunning = true;
    m_model.skipSelection = false;
    m_runNames = OutputNames();
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

void TForm1::savepic(int row)
{
    RenderOptions options = RenderOptions::fromConfig(m_model.config, m_model.dpi);
    options.exifPriority = m_model.exifPriority;
    m_renderer.setOptions(options);
    JobPlan plan = m_renderer.plan(m_model.NGrid2.row(row));
    // A row or date the selection step refused was reported there; the job is not
    // written, so no picture of another source can be saved under its name.
    if (!plan.error.isEmpty())
        return;
    plan.output = m_runNames.claim(plan.output);
    const JobRenderer::Result result = m_renderer.render(plan, m_model.Img2);
    if (!result.ok())
        return;
    QString status = QStringLiteral("BEARBEITUNG LÄUFT... ") + QDir::toNativeSeparators(plan.output);
    if (result.lossless)
        status += QStringLiteral(" (verlustfrei gestempelt)");
    else if (!result.fallback.isEmpty())
        status += QStringLiteral(" (neu kodiert)");
    RzStatusPane1->setText(status);
}
