#pragma once
#include <istream>
#include <optional>
#include <string>

namespace pemblor {

// The first line of `in`, without its line end ("\n" or "\r\n"). An empty
// input gives an empty password.
std::string ReadPasswordLine(std::istream& in);

// The first line of the file at `path`; nothing, with `error` set, when it
// cannot be read.
std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error);

// Asks on the terminal `fd` (read and written) with `prompt`, echo off, and
// restores the terminal afterwards, also when a signal ends the program
// meanwhile. Nothing, with `error` set, when `fd` is not a terminal.
std::optional<std::string> PromptPassword(int fd, const std::string& prompt, std::string& error);

} // namespace pemblor
