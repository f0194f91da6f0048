#pragma once

// NasContext: the one record of the chosen NAS, the signed-in user and the drives assigned to its
// folders. The wizard's pages, the web API client (nas_web_api.h) and the drive-letter assignment
// (drive_letters.h) read and write it.
//
// Threads: the record and every function here belong to the user-interface thread; nothing in it
// is guarded. Callers that only need one field read it as a copy.

#include <cstdint>

#include "drivescout/sdk.h"
#include "sdk/LBString.h"

struct NasContext {
    UPnPSession session = nullptr;  // used for every mapping call
    LBString strName;               // the device's friendly name
    LBString strAddress;            // the device's IP address text
    LBString strUDNPrefix;
    LBString strUserName;  // the signed-in user, or the share name of a private mapping found
    LBString strPassword;  // the password used for the private mapping
    int32_t bPublicMapped = 0;
    LBString strPublicPath;   // "\\<address>\Public"
    LBString strPublicDrive;  // "Z:" form, or empty for a connection without a letter
    int32_t bPrivateMapped = 0;
    LBString strPrivatePath;
    LBString strPrivateDrive;
};

// The process's one record, empty at start-up.
extern NasContext g_NasContext;

// Starts a fresh record for `device` (borrowed for the call; null gives empty device texts):
// session, name, address and UDN prefix taken over; user name, paths and drives emptied; both
// mapped flags 0. The password stays, so a user who signed in on one device keeps it for the next.
void BeginDevice(NasContext& context, UPnPSession session, const CAbstractUPnPDevice* device);
