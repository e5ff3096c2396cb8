// lzx make-updater: an updater written from a stub, a product file and a list
// file.
#pragma once

// argv holds the arguments after "make-updater"; returns the exit status
// (usage errors 1; every other failure is fatal).
int MakeUpdaterCommand(int argc, char** argv);
