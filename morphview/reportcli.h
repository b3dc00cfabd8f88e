// morphview --html: the command line of the HTML report, kept apart from the picture modes.
#pragma once

namespace view {

// True when the command line asks for a report (an --html word before any "--").
bool wantsReport(int argc, char** argv);
// Reads the files, writes the page and returns the exit status; ends the run through
// fail() on a bad file, as the picture modes do.
int reportMain(int argc, char** argv);

}  // namespace view
