#pragma once

namespace appserver {

struct HttpOptions;

/// The commands that change the users file and end (--add-user, --remove-user).
class UserCommands {
public:
    /// --add-user: the password comes from standard input (one line), never from the command line, where
    /// other users of the machine could read it. The exit status.
    static int add(const HttpOptions& http);
    /// --remove-user; the exit status.
    static int remove(const HttpOptions& http);
};

} // namespace appserver
