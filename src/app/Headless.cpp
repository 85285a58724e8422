// Headless runs: the real windows on the offscreen platform, with every view
// switched on, play one file fast through the usual intake; each view prints
// its refreshes, and the main window's labels follow once playback stops.
// No stored settings are read and none are written.
#include "Headless.h"

#include "BinrDecoder.h"
#include "Mainfile.h"
#include "NmeaAssembler.h"
#include "Report.h"
#include "Statistic.h"
#include "Visual.h"
#include "Windows.h"

#include "Controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace {

int FileOpenError(const QString& problem)
{
    std::fprintf(stderr, "kestrova: %s\n", problem.toUtf8().constData());
    return 2;
}

// Qt raises a tool window above its parent at every show; the offscreen
// platform keeps no stacking order and says so on stderr each time. Nobody
// sees the stacking here: the views become plain windows.
void MakeViewsPlainWindows(TMainForm* form)
{
    for (TViewForm* view : form->findChildren<TViewForm*>(Qt::FindDirectChildrenOnly))
        view->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
}

void SetUp(TMainForm* form, const CommandLine& cl, bool binr)
{
    for (QCheckBox* box : {form->PositionCheckBox, form->StatisticCheckBox, form->SatellitesCheckBox,
                           form->VisualCheckBox, form->ProfileCheckBox})
        box->setChecked(true);
    if (VisualForm && VisualForm->SatCheckBox)
        VisualForm->SatCheckBox->setChecked(true);
    if (StatisticForm) {
        if (StatisticForm->HDOPEdit)
            StatisticForm->HDOPEdit->setText(cl.maxHdop);
        if (StatisticForm->VDOPEdit)
            StatisticForm->VDOPEdit->setText(cl.maxVdop);
        if (StatisticForm->DiffCheckBox)
            StatisticForm->DiffCheckBox->setChecked(cl.diffOnly);
    }
    (binr ? form->BINRRadioButton : form->NMEARadioButton)->setChecked(true);
    if (cl.multiGnss)
        form->SetMultiGnss(true);
}

void ReportMain(const TMainForm* form)
{
    ReportView("MAIN", {{"ReceiveBytesLabel", form->ReceiveBytesLabel->text()},
                        {"ErrorBytesLabel", form->ErrorBytesLabel->text()},
                        {"InfoLabel", form->InfoLabel->text()},
                        {"DeviceLabel", form->DeviceLabel->text()},
                        {"FileLabel", form->FileLabel->text()}});
}

} // namespace

int RunHeadless(const CommandLine& cl)
{
    const QString file = cl.files.value(0);
    // Checked before any window exists, so a wrong name costs nothing.
    if (const QString problem = PlayableFileProblem(file); !problem.isEmpty())
        return FileOpenError(problem);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings are neither read nor written; should any window still touch
    // them, it finds an empty private folder that vanishes with the run.
    QTemporaryDir privateConfig;
    if (privateConfig.isValid()) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(privateConfig.path()));
        // Without one Qt warns on stderr (a root shell, a CI job); the folder
        // is private (0700) as Qt requires.
        if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(privateConfig.path()));
    }
    SetHeadlessReport(true);

    ProgramNmea();
    ProgramBinr();
    int argc = 1;
    char name[] = "kestrova";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    std::unique_ptr<TMainForm> form(CreateProgramWindows());
    form->headless = true;
    MakeViewsPlainWindows(form.get());
    form->show();
    const bool binr = PlaysAsBinr(cl, file);
    SetUp(form.get(), cl, binr);
    form->TakeFileName(QFileInfo(file).absoluteFilePath());
    form->RewindButtonClick(nullptr);
    if (form->mode != amFastPlay)
        return FileOpenError(file + ": File open error");

    QObject::connect(form.get(), &TMainForm::ModeChanged, &app, [&](uint32_t mode) {
        if (mode == amStop) {
            ReportMain(form.get());
            QCoreApplication::exit(0);
        }
    });
    const int status = app.exec();
    form.reset();
    return status;
}
