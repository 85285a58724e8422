#pragma once
// The panel's settings kept between runs: its place, rate, protocol, view
// switches, sound and "0x02", the port chosen last, with the live sources'
// and Multi-GNSS keys beside them. Each change is written as it happens.
#include <QObject>
#include <functional>
#include <map>
#include <vector>

class QAbstractButton;
class QCheckBox;
class TMainForm;

class PanelSettings : public QObject {
public:
    explicit PanelSettings(TMainForm& panel);

    // Reads the stored values; the first that cannot be read ends the
    // reading and the defaults take over (the position read so far stays).
    void Load();
    void Save();
    void ApplyDefaults();
    // No panel was ever stored: the program's first start for this user.
    bool FirstStart() const { return firstStart_; }
    // From here on a change of a stored value is written (once loaded, never
    // in a headless run); changes made together make one write.
    void StoreOnChange();
    void Changed();
    // Selects the port stored last when the list offers it.
    void SelectStoredPort();
    // Shows a view for this run only (--show): unless the user switches it
    // in the window, its stored state is what the settings keep.
    void ShowViewOnce(QCheckBox* view);
    // The user switched the view: the choice is the user's again, to be kept.
    void ForgetOneOff(const QAbstractButton* view);

private:
    struct StoredValue;
    std::vector<StoredValue> StoredValues();
    void KeepTitleStripOnScreen();

    TMainForm& panel_;
    // Views shown for one run, with the state the settings keep for them.
    std::map<const QAbstractButton*, bool> oneOffViews_;
    bool loaded_ = false;
    bool firstStart_ = false;
    bool savePending_ = false;
};
