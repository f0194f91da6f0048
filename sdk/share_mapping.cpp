// Share mapping: connecting a NAS folder to a drive letter through the network provider, the
// single forced retry, and the remembered connection's DeferFlags and stored credential that
// follow a mapping made with a user name, a password and the persist flag.

#include <memory>

#include "platform/credential_store.h"
#include "platform/network_provider.h"
#include "platform/trace.h"
#include "platform/user_store.h"
#include "platform/workstation.h"
#include "sdk/upnp_sdk.h"

namespace {

constexpr uint32_t kDeferFlagsWithCredential = 4;

void traceLine(const LBString& line) {
    platform::trace(line.View());
}

platform::NetResource diskShareResource(const LBString& localName, const LBString& remoteName) {
    platform::NetResource resource;
    resource.scope = 0;
    resource.type = 1;         // disk
    resource.displayType = 3;  // share
    resource.usage = 0;
    resource.localName = std::u16string(localName.View());
    resource.remoteName = std::u16string(remoteName.View());
    return resource;
}

// The host part of a remote name: after a leading "\\", up to the next "\"; empty when no
// further "\" follows.
LBString credentialTarget(const LBString& remoteName) {
    LBString rest = remoteName;
    if (rest.Left(2) == LBString(u"\\\\"))
        rest = rest.Mid(2);
    const int slash = rest.Find(u'\\');
    return slash < 0 ? LBString() : rest.Left(slash);
}

}  // namespace

int32_t CUPnPSDK::MapSharedPath(UPnPSession session, LBString userName, LBString password,
                                LBString remoteName, LBString localName, int32_t persist,
                                int32_t* error) {
    if (!IsValidSession(session))
        return 1;
    platform::NetworkProvider& provider = platform::networkProvider();
    const platform::NetResource resource = diskShareResource(localName, remoteName);
    platform::WinError outcome = provider.addConnection(resource, password.View(), userName.View(),
                                                        platform::kConnectUpdateProfile);
    if (outcome != platform::kNoError &&
        provider.cancelConnection(remoteName.View(), true) == platform::kNoError) {
        LBString line;
        line.Format(
            u">>>CUPnPSDK::MapSharedPath  first attempt failed, error=%d; cancelled the "
            u"connection to the share, trying once more",
            static_cast<int>(outcome));
        traceLine(line);
        outcome = provider.addConnection(resource, password.View(), userName.View(),
                                         platform::kConnectUpdateProfile);
    }
    if (persist != 0 && !password.IsEmpty() && !userName.IsEmpty() && outcome == platform::kNoError)
        ChangeRegistryForMapFunction(userName, password, remoteName, localName);
    if (error)
        *error = static_cast<int32_t>(outcome);
    return 0;
}

int32_t CUPnPSDK::ChangeRegistryForMapFunction(LBString userName, LBString password,
                                               LBString remoteName, LBString localName) {
    LBString letter = localName;
    if (letter.GetLength() > 0 && letter.Right(1) == LBString(u":"))
        letter = letter.Left(letter.GetLength() - 1);
    const LBString keyName = LBString(u"Network\\") + letter;

    const platform::UserStore store = platform::UserStore::forCurrentUser();
    std::unique_ptr<platform::UserStoreKey> key;
    if (store.openKey(keyName.View(), key) != platform::kNoError)
        return 1;
    uint32_t deferFlags = 0;
    if (key->queryNumber(u"DeferFlags", deferFlags) != platform::kNoError ||
        deferFlags == kDeferFlagsWithCredential) {
        platform::closeKey(std::move(key));
        return 1;
    }
    if (key->setNumber(u"DeferFlags", kDeferFlagsWithCredential) != platform::kNoError) {
        traceLine(u">>>CUPnPSDK::ChangeRegistryForMapFunction  RegSetValueEx Failed");
        platform::closeKey(std::move(key));
        return 1;
    }

    LBString credentialUser = GetDomainName();
    if (!credentialUser.IsEmpty())
        credentialUser += u"\\";
    credentialUser += userName;

    platform::Credential credential;
    credential.flags = 0;
    credential.type = platform::kCredentialTypeDomainPassword;
    credential.targetName = std::u16string(credentialTarget(remoteName).View());
    credential.blob = platform::passwordBlob(password.View());
    credential.persist = platform::kCredentialPersistEnterprise;
    credential.userName = std::u16string(credentialUser.View());
    if (const platform::WinError lastError = platform::writeCredential(credential)) {
        LBString line;
        line.Format(u">>>CUPnPSDK::ChangeRegistryForMapFunction  CredWrite Failed, GetLastError=%d",
                    static_cast<int>(lastError));
        traceLine(line);
    }
    platform::closeKey(std::move(key));
    return 1;
}

LBString CUPnPSDK::GetDomainName() {
    platform::WorkstationUser user;
    if (platform::workstationUser(user) != platform::kNoError) {
        traceLine(u">>>CUPnPSDK::GetDomainName  NetWkstaUserGetInfo Failed");
        return LBString();
    }
    const LBString userName = LBString::FromUtf16(user.userName);
    const LBString domain = LBString::FromUtf16(user.logonDomain);
    LBString line;
    line.Format(u">>>CUPnPSDK::GetDomainName  wkui1_username:%s,wkui1_logon_domain:%s",
                userName.GetString(), domain.GetString());
    traceLine(line);
    return domain;
}

int32_t CUPnPSDK::UnmapSharedPath(UPnPSession session, LBString name, int32_t force,
                                  int32_t* error) {
    if (!IsValidSession(session))
        return 1;
    const platform::WinError result =
        platform::networkProvider().cancelConnection(name.View(), force != 0);
    // Callers must pass somewhere to put the code; one that does not still gets the
    // cancellation, just not the code, instead of a write through null.
    if (error)
        *error = static_cast<int32_t>(result);
    return 0;
}

int32_t CUPnPSDK::IsSharedPathMapped(UPnPSession, LBString) {
    return 1;
}
