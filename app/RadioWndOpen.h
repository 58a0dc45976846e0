#pragma once

// What a start was asked to open: the files and addresses named on its
// command line, made fit to be handed to a player that runs elsewhere.

#include <string>
#include <vector>

// The items of a command line: options (a leading '-', up to a "--") are
// left out; a relative path is made absolute against this process's folder,
// since a running player that receives it has a folder of its own; file://
// and other addresses are kept as they are.
std::vector<std::string> OpenItemsFromArguments(int argc, const char* const* argv);
