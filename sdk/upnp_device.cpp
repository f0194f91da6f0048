#include "sdk/upnp_device.h"

// The one out-of-line virtual member keeps the base class's vtable in this library.
CAbstractUPnPDevice::~CAbstractUPnPDevice() = default;

std::recursive_mutex& DeviceFieldsLock() {
    static std::recursive_mutex lock;
    return lock;
}

void CUPnPProxyDevice::CopyFrom(CAbstractUPnPDevice* other) {
    if (other == nullptr || other == this)
        return;
    std::lock_guard lock(DeviceFieldsLock());
    m_strIPAddress = other->GetIPAddress();
    m_strFriendlyName = other->GetFriendlyName();
    m_strSpareText = other->GetSpareText();
    m_strUDNSuffix = other->GetUDNSuffix();
    m_strUDNPrefix = other->GetUDNPrefix();
    m_strLocationURL = other->GetLocationURL();
    if (const std::vector<LBString>* shares = other->GetShareList())
        m_vecShares.insert(m_vecShares.end(), shares->begin(), shares->end());
}

bool CUPnPProxyDevice::HasIdentity(const LBString& udnSuffix, const LBString& ipAddress) const {
    return m_strUDNSuffix.CompareNoCase(udnSuffix) == 0 &&
           m_strIPAddress.CompareNoCase(ipAddress) == 0;
}
