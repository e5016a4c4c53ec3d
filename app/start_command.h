#pragma once

#include "app/reader_arguments.h"

namespace pelmaro::app {

class MainWindow;

// Runs what the reader was started for: the build of the folder, as Path (F2) builds a picked one
// (the save question included), or the opening of the catalogue, as Open (F9) opens a chosen
// one. An error shows in the error box, as for the keys. Nothing for Action::Start.
void runStartCommand(MainWindow& window, const ReaderArguments& arguments);

}  // namespace pelmaro::app
