// The check made at every start: without the settings key and its "AffID" the program does
// not start; on a day other than the recorded "LastUpdate" the update server is asked.
#pragma once

#include <QDateTime>
#include <QString>

// True when start-up may continue.
bool CheckForUpdate();
// The same, with the local date and time given (tests control the clock through it).
bool CheckForUpdate(const QDateTime& localNow);

// "LastUpdate"'s form of a local date: year, month and day as "%d%02d%02d".
QString FormatUpdateDate(const QDate& date);
