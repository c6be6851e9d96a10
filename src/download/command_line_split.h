// Splits one command-line string into an argument vector by the Windows rules, so that a tool's
// command line is given to it word by word and never passes through a shell.
#pragma once

#include <QString>
#include <QStringList>

// Blanks (space, tab) separate words outside double quotes; double quotes group and are
// removed; 2n backslashes before a quote give n backslashes and the quote acts, 2n+1 give n and
// a literal quote; backslashes anywhere else are literal; "" inside quotes is a literal quote.
// The first word, the program, follows the simpler rule of its own: it runs to the next blank,
// or when it begins with a quote, to the next quote, and backslashes in it are literal.
QStringList SplitCommandLine(const QString& commandLine);
