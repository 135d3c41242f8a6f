#ifndef WHOISERROR_H
#define WHOISERROR_H

#include <stdexcept>
#include <string>

// A WHOIS query that could not be completed. The message is one sentence
// for a person: which host and port, and what went wrong.
class EIdWhoisError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

#endif // WHOISERROR_H
