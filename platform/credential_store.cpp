#include "platform/credential_store.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/secret_service.h"
#include "platform/user_store.h"
#include "platform/utf.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

fs::path credentialFile() {
    fs::path base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') {
        base = data;
    } else {
        base = userHomeDirectory() / ".local" / "share";
    }
    return base / "drivescout" / "credentials";
}

bool useFile() {
    const char* choice = std::getenv("DRIVESCOUT_CREDENTIAL_STORE");
    if (choice && std::strcmp(choice, "file") == 0)
        return true;
    return !secretServiceAvailable();
}

// A target may hold any character; key path components hold no backslash.
std::u16string credentialKey(uint32_t type, std::u16string_view target) {
    std::u16string key = u"Credentials\\" + utf8ToUtf16(std::to_string(type)) + u"\\";
    for (char16_t c : target) {
        if (c == u'%')
            key += u"%25";
        else if (c == u'\\')
            key += u"%5C";
        else
            key += c;
    }
    return key;
}

WinError writeToFile(const Credential& credential, std::u16string_view password) {
    const UserStore store(credentialFile());
    std::unique_ptr<UserStoreKey> key;
    WinError result = store.createKey(credentialKey(credential.type, credential.targetName), key);
    if (result)
        return result;
    for (const auto& [name, text] :
         {std::pair<std::u16string_view, std::u16string_view>{u"TargetName", credential.targetName},
          {u"UserName", credential.userName},
          {u"Comment", credential.comment},
          {u"TargetAlias", credential.targetAlias},
          {u"Password", password}}) {
        if ((result = key->setText(name, text)))
            return result;
    }
    if ((result = key->setNumber(u"Flags", credential.flags)) ||
        (result = key->setNumber(u"Persist", credential.persist)))
        return result;
    return closeKey(std::move(key));
}

WinError readFromFile(uint32_t type, std::u16string_view target, Credential& credential) {
    const UserStore store(credentialFile());
    std::unique_ptr<UserStoreKey> key;
    if (WinError result = store.openKey(credentialKey(type, target), key))
        return result;
    Credential read;
    read.type = type;
    std::u16string password;
    WinError result = key->queryText(u"TargetName", read.targetName);
    if (!result)
        result = key->queryText(u"UserName", read.userName);
    if (!result)
        result = key->queryText(u"Password", password);
    if (!result)
        result = key->queryNumber(u"Flags", read.flags);
    if (!result)
        result = key->queryNumber(u"Persist", read.persist);
    if (result)
        return result;
    key->queryText(u"Comment", read.comment);
    key->queryText(u"TargetAlias", read.targetAlias);
    read.blob = passwordBlob(password);
    credential = std::move(read);
    return kNoError;
}

}  // namespace

WinError writeCredential(const Credential& credential) {
    const std::optional<std::u16string> password = passwordFromBlob(credential.blob);
    if (!password || credential.targetName.empty())
        return kErrorInvalidParameter;
    if (useFile())
        return writeToFile(credential, *password);
    return secretServiceStore(credential, *password);
}

WinError readCredential(uint32_t type, std::u16string_view targetName, Credential& credential) {
    if (useFile())
        return readFromFile(type, targetName, credential);
    return secretServiceLookup(type, targetName, credential);
}

WinError deleteCredential(uint32_t type, std::u16string_view targetName) {
    if (useFile())
        return UserStore(credentialFile()).deleteKey(credentialKey(type, targetName));
    return secretServiceDelete(type, targetName);
}

std::string credentialBackendName() {
    return useFile() ? "file" : "secret-service";
}

}  // namespace platform
