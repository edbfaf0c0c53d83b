#pragma once
// Windows error codes, as both backends report them through LastError().
#include <cstdint>
#include <string>

namespace platform {

using Dword = std::uint32_t;

constexpr Dword kErrorSuccess = 0;
constexpr Dword kErrorInvalidFunction = 1;
constexpr Dword kErrorFileNotFound = 2;
constexpr Dword kErrorPathNotFound = 3;
constexpr Dword kErrorAccessDenied = 5;
constexpr Dword kErrorInvalidHandle = 6;
constexpr Dword kErrorNotEnoughMemory = 8;
constexpr Dword kErrorNoMoreFiles = 18;
constexpr Dword kErrorWriteFault = 29;
constexpr Dword kErrorReadFault = 30;
constexpr Dword kErrorGenFailure = 31;
constexpr Dword kErrorSharingViolation = 32;
constexpr Dword kErrorLockViolation = 33;
constexpr Dword kErrorHandleEof = 38;
constexpr Dword kErrorNotSupported = 50;
constexpr Dword kErrorBadNetpath = 53;
constexpr Dword kErrorFileExists = 80;
constexpr Dword kErrorInvalidParameter = 87;
constexpr Dword kErrorDiskFull = 112;
constexpr Dword kErrorInsufficientBuffer = 122;
constexpr Dword kErrorInvalidName = 123;
constexpr Dword kErrorNegativeSeek = 131;
constexpr Dword kErrorDirNotEmpty = 145;
constexpr Dword kErrorAlreadyExists = 183;
constexpr Dword kErrorFileTooLarge = 223;
constexpr Dword kErrorBadExeFormat = 193;
constexpr Dword kErrorDirectory = 267;
constexpr Dword kErrorCallNotImplemented = 120;
constexpr Dword kErrorProcNotFound = 127;
constexpr Dword kErrorMoreData = 234;
constexpr Dword kErrorNotAllAssigned = 1300;
constexpr Dword kErrorNoSuchPrivilege = 1313;
constexpr Dword kErrorPrivilegeNotHeld = 1314;
constexpr Dword kErrorFilenameExcedRange = 206;

// "ERROR_PATH_NOT_FOUND (3)": the error's name as Windows headers spell it
// and its number; "error 1234" for a code without a name here.
std::string ErrorText(Dword code);

// The calling thread's last error, as GetLastError/SetLastError keep it.
Dword LastError();
void SetLastErrorCode(Dword code);

}  // namespace platform
