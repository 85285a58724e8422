// Receiver synchronization, the protocol switch and the port list.
#include "Mainfile.h"

// Placeholders until synchronization lands.
void TMainForm::SynchroButtonClick(QObject*) {}
void TMainForm::SynchroTimerTimer() {}
void TMainForm::NMEARadioButtonClick(QObject*) {}
void TMainForm::BINRRadioButtonClick(QObject*) {}
void TMainForm::FillPortList() {}
void TMainForm::PortComboBoxDropDown() {}
void TMainForm::ConnectionLost() {}
