#include "platform/drive_restore.h"

#include "platform/credential_store.h"
#include "platform/network_names.h"

namespace platform {

std::vector<RestoreOutcome> restoreRememberedConnections(SmbNetworkProvider& provider) {
    std::vector<RestoreOutcome> outcomes;
    for (const ConnectionInfo& connection : provider.listConnections()) {
        if (!connection.remembered || connection.active)
            continue;
        RestoreOutcome outcome{connection.localName, connection.remoteName, kNoError};
        std::u16string password;
        std::u16string domain;
        const std::optional<UncName> remote = parseUncName(connection.remoteName);
        if (!remote) {
            outcome.error = kErrorBadNetName;
        } else if (!connection.userName.empty()) {
            // The credential of the server, as the mapping stored it: "DOMAIN\user" or "user".
            Credential credential;
            std::optional<std::u16string> stored;
            if (readCredential(kCredentialTypeDomainPassword, remote->host, credential) == kNoError)
                stored = passwordFromBlob(credential.blob);
            if (!stored) {
                outcome.error = kErrorNoCredential;
            } else {
                password = std::move(*stored);
                if (const size_t slash = credential.userName.find(u'\\');
                    slash != std::u16string::npos)
                    domain = credential.userName.substr(0, slash);
            }
        }
        if (!outcome.error)
            outcome.error = provider.restoreConnection(connection.localName, password, domain);
        std::fill(password.begin(), password.end(), u'\0');
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

}  // namespace platform
