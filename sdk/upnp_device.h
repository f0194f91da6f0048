#pragma once

// CUPnPProxyDevice: the SDK's own device object behind CAbstractUPnPDevice (declared in the public
// header). It holds the device's texts as LBString and hands them out through the eleven virtual
// operations, in the slot order the exported interface relies on.
//
// Threads: listed devices are made and destroyed on the discovery thread while callers read them;
// a caller that keeps data copies it (CopyFrom). A listed device's texts are set before it is
// listed and never change; its share list is replaced by the property query on a caller's
// thread. That replacement and every CopyFrom run under one lock (`DeviceFieldsLock`), so a copy
// made in a callback never reads a list that another thread is freeing.

#include <cstdint>
#include <mutex>
#include <vector>

#include "drivescout/sdk.h"
#include "sdk/LBString.h"

// Guards the share lists of listed devices against a copy running at the same time. Innermost:
// nothing else is locked while it is held.
std::recursive_mutex& DeviceFieldsLock();

class CUPnPProxyDevice final : public CAbstractUPnPDevice {
  public:
    CUPnPProxyDevice() = default;
    ~CUPnPProxyDevice() override = default;
    CUPnPProxyDevice(const CUPnPProxyDevice&) = delete;
    CUPnPProxyDevice& operator=(const CUPnPProxyDevice&) = delete;

    const char16_t* GetIPAddress() const override { return m_strIPAddress.GetString(); }
    const char16_t* GetFriendlyName() const override { return m_strFriendlyName.GetString(); }
    std::vector<LBString>* GetShareList() override { return &m_vecShares; }
    int32_t GetShareCount() const override { return static_cast<int32_t>(m_vecShares.size()); }
    void CopyFrom(CAbstractUPnPDevice* other) override;
    const char16_t* GetLocationURL() const override { return m_strLocationURL.GetString(); }
    const char16_t* GetSpareText() const override { return m_strSpareText.GetString(); }
    const char16_t* GetUDNSuffix() const override { return m_strUDNSuffix.GetString(); }
    const char16_t* GetUDNPrefix() const override { return m_strUDNPrefix.GetString(); }
    uint64_t GetSpareValue1() const override { return m_nSpareValue1; }
    uint64_t GetSpareValue2() const override { return m_nSpareValue2; }

    // Identity (UDN suffix, IP address), both without regard to case; two empty texts are equal.
    bool HasIdentity(const LBString& udnSuffix, const LBString& ipAddress) const;

    LBString m_strIPAddress;
    LBString m_strFriendlyName;
    LBString m_strSpareText;
    LBString m_strUDNSuffix;
    LBString m_strUDNPrefix;
    LBString m_strLocationURL;
    uint64_t m_nSpareValue1 = 0;
    uint64_t m_nSpareValue2 = 0;
    std::vector<LBString> m_vecShares;  // in order of arrival
};
