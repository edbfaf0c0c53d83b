#include "platform/errors.h"

namespace platform {

std::string ErrorText(Dword code) {
  const char* name = nullptr;
  switch (code) {
    case kErrorSuccess: name = "ERROR_SUCCESS"; break;
    case kErrorInvalidFunction: name = "ERROR_INVALID_FUNCTION"; break;
    case kErrorFileNotFound: name = "ERROR_FILE_NOT_FOUND"; break;
    case kErrorPathNotFound: name = "ERROR_PATH_NOT_FOUND"; break;
    case kErrorAccessDenied: name = "ERROR_ACCESS_DENIED"; break;
    case kErrorInvalidHandle: name = "ERROR_INVALID_HANDLE"; break;
    case kErrorNotEnoughMemory: name = "ERROR_NOT_ENOUGH_MEMORY"; break;
    case kErrorNoMoreFiles: name = "ERROR_NO_MORE_FILES"; break;
    case kErrorWriteFault: name = "ERROR_WRITE_FAULT"; break;
    case kErrorReadFault: name = "ERROR_READ_FAULT"; break;
    case kErrorGenFailure: name = "ERROR_GEN_FAILURE"; break;
    case kErrorSharingViolation: name = "ERROR_SHARING_VIOLATION"; break;
    case kErrorLockViolation: name = "ERROR_LOCK_VIOLATION"; break;
    case kErrorHandleEof: name = "ERROR_HANDLE_EOF"; break;
    case kErrorNotSupported: name = "ERROR_NOT_SUPPORTED"; break;
    case kErrorBadNetpath: name = "ERROR_BAD_NETPATH"; break;
    case kErrorFileExists: name = "ERROR_FILE_EXISTS"; break;
    case kErrorInvalidParameter: name = "ERROR_INVALID_PARAMETER"; break;
    case kErrorDiskFull: name = "ERROR_DISK_FULL"; break;
    case kErrorInsufficientBuffer: name = "ERROR_INSUFFICIENT_BUFFER"; break;
    case kErrorInvalidName: name = "ERROR_INVALID_NAME"; break;
    case kErrorNegativeSeek: name = "ERROR_NEGATIVE_SEEK"; break;
    case kErrorDirNotEmpty: name = "ERROR_DIR_NOT_EMPTY"; break;
    case kErrorAlreadyExists: name = "ERROR_ALREADY_EXISTS"; break;
    case kErrorFileTooLarge: name = "ERROR_FILE_TOO_LARGE"; break;
    case kErrorBadExeFormat: name = "ERROR_BAD_EXE_FORMAT"; break;
    case kErrorCallNotImplemented: name = "ERROR_CALL_NOT_IMPLEMENTED"; break;
    case kErrorProcNotFound: name = "ERROR_PROC_NOT_FOUND"; break;
    case kErrorMoreData: name = "ERROR_MORE_DATA"; break;
    case kErrorNotAllAssigned: name = "ERROR_NOT_ALL_ASSIGNED"; break;
    case kErrorNoSuchPrivilege: name = "ERROR_NO_SUCH_PRIVILEGE"; break;
    case kErrorPrivilegeNotHeld: name = "ERROR_PRIVILEGE_NOT_HELD"; break;
    case kErrorDirectory: name = "ERROR_DIRECTORY"; break;
    case kErrorFilenameExcedRange: name = "ERROR_FILENAME_EXCED_RANGE"; break;
  }
  if (name == nullptr) return "error " + std::to_string(code);
  return std::string(name) + " (" + std::to_string(code) + ")";
}

}  // namespace platform
