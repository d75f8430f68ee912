#pragma once
// Socket error numbers as the program reports them: the classic socket-library numbers
// (10004 "Interrupted system call" ... 11004), with POSIX errno and resolver codes mapped onto
// the rows of the same meaning, so messages read the same on every platform.
#include <string>

namespace platform {

inline constexpr int kSockWouldBlock = 10035;

// POSIX errno -> table number. 0 gives 0; EAGAIN/EWOULDBLOCK give kSockWouldBlock; a value
// without a row gives 20000 + errno, which is reported as an unknown number.
int SockErrorFromErrno(int err);

// getaddrinfo() result -> table number (11001..11004 rows); 0 gives 0.
int SockErrorFromResolver(int gai_error);

// Row text of a table number without the number ("Connection refused"), or empty.
const char* SockErrorRowText(int number);

// number + ":" + text, e.g. "10061:Connection refused"; "Unknown Error No. " + number
// without a row; empty for 0.
std::string SockErrorMessage(int number);

}  // namespace platform
