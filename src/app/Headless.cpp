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

bool IsBinrFile(const CommandLine& cl, const QString& file)
{
    if (cl.protocol != CommandLine::Protocol::ByName)
        return cl.protocol == CommandLine::Protocol::Binr;
    return file.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive);
}

int FileOpenError(const QString& file)
{
    std::fprintf(stderr, "File open error: %s\n", file.toUtf8().constData());
    return 2;
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
    if (!QFileInfo(file).isFile() || !QFile(file).open(QIODevice::ReadOnly))
        return FileOpenError(file);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings are neither read nor written; should any window still touch
    // them, it finds an empty private folder that vanishes with the run.
    QTemporaryDir privateConfig;
    if (privateConfig.isValid())
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(privateConfig.path()));
    SetHeadlessReport(true);

    ProgramNmea();
    ProgramBinr();
    int argc = 1;
    char name[] = "kestrova";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    std::unique_ptr<TMainForm> form(CreateProgramWindows());
    form->headless = true;
    form->show();
    const bool binr = IsBinrFile(cl, file);
    SetUp(form.get(), cl, binr);
    form->TakeFileName(QFileInfo(file).absoluteFilePath());
    form->RewindButtonClick(nullptr);
    if (form->mode != amFastPlay)
        return FileOpenError(file);

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
