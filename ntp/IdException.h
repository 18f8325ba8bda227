#pragma once
// The socket layer's exceptions, each with the text it is raised with.
#include <string>

#include "framework/SysUtils.h"

namespace ntp {

class EIdException : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

// A platform call reported failure: "Socket Error # <number>\r\n<text>".
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int error_code, const std::string& text)
      : EIdException("Socket Error # " + std::to_string(error_code) + "\r\n" + text),
        error_code_(error_code) {}
  int ErrorCode() const { return error_code_; }

 private:
  int error_code_;
};

class EIdInvalidSocket : public EIdException {
 public:
  EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

class EIdSocketHandleError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdPackageSizeTooBig : public EIdSocketHandleError {
 public:
  EIdPackageSizeTooBig() : EIdSocketHandleError("Package Size Too Big.") {}
};

class EIdNotAllBytesSent : public EIdSocketHandleError {
 public:
  EIdNotAllBytesSent() : EIdSocketHandleError("Not all bytes sent.") {}
};

class EIdUDPException : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdUDPReceiveErrorZeroBytes : public EIdUDPException {
 public:
  EIdUDPReceiveErrorZeroBytes() : EIdUDPException("UDP Receive Error = 0.") {}
};

class EIdStackError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdStackInitializationFailed : public EIdStackError {
 public:
  EIdStackInitializationFailed() : EIdStackError("Winsock Initialization Error.") {}
};

// An IPv6 address or lookup was asked of a socket library that has no IPv6 calls.
class EIdIPv6Unavailable : public EIdStackError {
 public:
  explicit EIdIPv6Unavailable(const std::string& library)
      : EIdStackError("IPv6 is not available: " + library +
                      " has no getaddrinfo and freeaddrinfo.") {}
};

class EIdStackCanNotLoadWinsock : public EIdException {
 public:
  explicit EIdStackCanNotLoadWinsock(const std::string& library)
      : EIdException(library + " could not be loaded.") {}
};

}  // namespace ntp
