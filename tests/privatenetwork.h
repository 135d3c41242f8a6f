#ifndef PRIVATENETWORK_H
#define PRIVATENETWORK_H

#include <functional>
#include <optional>
#include <string>

// Runs work in a child process inside a network namespace of its own: only
// loopback exists there, up, and nothing sent can leave the machine. With
// SilentResolver the system resolver is pointed at a name server on
// 127.0.0.1 that takes queries and never answers.
// Returns what work returned; std::nullopt when no namespace can be made
// here (no privilege for it), so the caller can skip.
struct PrivateNetwork
{
    enum Resolver { SystemResolver, SilentResolver };

    static std::optional<std::string> run(const std::function<std::string()> &work,
                                          Resolver resolver = SystemResolver);
};

#endif // PRIVATENETWORK_H
