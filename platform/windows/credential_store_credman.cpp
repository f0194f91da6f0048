// The credential store on the Windows credential manager (CredWriteW, CredReadW, CredDeleteW).

#include <windows.h>

#include <wincred.h>

#include "platform/credential_store.h"
#include "platform/windows/wide_text.h"

namespace platform {
namespace {

// The credential manager says ERROR_NOT_FOUND where the store's callers expect
// kErrorFileNotFound, as from the other stores.
WinError lastError() {
    const DWORD error = ::GetLastError();
    return error == ERROR_NOT_FOUND ? kErrorFileNotFound : error;
}

}  // namespace

WinError writeCredential(const Credential& credential) {
    if (!passwordFromBlob(credential.blob) || credential.targetName.empty())
        return kErrorInvalidParameter;
    std::u16string target = credential.targetName;
    std::u16string comment = credential.comment;
    std::u16string alias = credential.targetAlias;
    std::u16string userName = credential.userName;
    std::vector<uint8_t> blob = credential.blob;
    CREDENTIALW native{};
    native.Flags = credential.flags;
    native.Type = credential.type;
    native.TargetName = mutableWideOrNull(target);
    native.Comment = mutableWideOrNull(comment);
    native.CredentialBlobSize = static_cast<DWORD>(blob.size());
    native.CredentialBlob = blob.empty() ? nullptr : blob.data();
    native.Persist = credential.persist;
    native.TargetAlias = mutableWideOrNull(alias);
    native.UserName = mutableWideOrNull(userName);
    const WinError result = ::CredWriteW(&native, 0) ? kNoError : lastError();
    SecureZeroMemory(blob.data(), blob.size());
    return result;
}

WinError readCredential(uint32_t type, std::u16string_view targetName, Credential& credential) {
    const std::u16string target(targetName);
    CREDENTIALW* native = nullptr;
    if (!::CredReadW(wide(target), type, 0, &native))
        return lastError();
    Credential read;
    read.flags = native->Flags;
    read.type = native->Type;
    read.targetName = fromWide(native->TargetName);
    read.comment = fromWide(native->Comment);
    read.blob.assign(native->CredentialBlob, native->CredentialBlob + native->CredentialBlobSize);
    read.persist = native->Persist;
    read.targetAlias = fromWide(native->TargetAlias);
    read.userName = fromWide(native->UserName);
    ::CredFree(native);
    credential = std::move(read);
    return kNoError;
}

WinError deleteCredential(uint32_t type, std::u16string_view targetName) {
    const std::u16string target(targetName);
    return ::CredDeleteW(wide(target), type, 0) ? kNoError : lastError();
}

std::string credentialBackendName() {
    return "credential-manager";
}

}  // namespace platform
