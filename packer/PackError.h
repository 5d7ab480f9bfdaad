// The one failure of the packer: a message for stderr and the exit status to end with.
#ifndef LUMIVO_PACKER_PACKERROR_H
#define LUMIVO_PACKER_PACKERROR_H

#include <string>

enum ExitStatus : int {
    ExitOk = 0,
    ExitDamaged = 1, // a damaged or missing archive, or an output that could not be written
    ExitRefused = 2, // refused input or a usage error; nothing was written
};

struct PackError {
    int status;
    std::string message;
};

[[noreturn]] inline void Refuse(const std::string& message)
{
    throw PackError{ExitRefused, message};
}

[[noreturn]] inline void Fail(const std::string& message)
{
    throw PackError{ExitDamaged, message};
}

#endif
