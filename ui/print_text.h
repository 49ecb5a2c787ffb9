#pragma once
// The console's plain-text printing: Print Info of the status dialogs and
// Print Report of the Reports tab.
#include <QPrinter>
#include <string>

#include "platform/system.h"
#include "ui/console_services.h"

namespace omb::ui {

// "Printed " + the local time as 24 characters ("Mon Apr  7 13:05:09 2003").
std::string PrintedLine(const platform::SystemTime& localTime);

// Prints "Printed ..." and then each "\r\n"-separated piece of text as one
// line, in 10-point Courier from the top left of the page; lines that do
// not fit on a page go on to the next one. False when the printer could not
// be started.
bool PrintOnPrinter(QPrinter& printer, const std::string& text,
                    const platform::SystemTime& localTime);

// Asks for a printer (owner: the printer dialog's owner) and prints. True
// only when the text was printed; a cancelled dialog prints nothing.
bool PrintText(ConsoleServices& services, QWidget* owner, const std::string& text);

}  // namespace omb::ui
