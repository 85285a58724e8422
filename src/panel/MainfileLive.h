#pragma once
// Settings and port-list entries of the live sources (MainfileLive.cpp).
#include <QStringList>

class TMainForm;

// The remembered network sources (newest first, at most kRememberedSources),
// the port chosen last and "Reconnect automatically".
void LoadLiveSettings(TMainForm& form);
void SaveLiveSettings(TMainForm& form);
// After the ports: the remembered sources and "Add source...", and each
// port's tooltip (a stable name's full path).
void AppendSourceItems(TMainForm& form);
// The remembered sources, newest first; address goes to the front.
QStringList RememberedSources();
void RememberSource(const QString& address);
constexpr int kRememberedSources = 8;
