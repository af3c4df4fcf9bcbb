#pragma once

// The whole application, built as a shared library beside the small `vandrel` program, which loads it
// for every start that is not a command. Returns the process's exit status.
extern "C" __attribute__((visibility("default"))) int vandrelApplicationMain(int argc, char** argv);
