#include "app/nas/nas_context.h"

#include "drivescout/sdk.h"

NasContext g_NasContext;

void BeginDevice(NasContext& context, UPnPSession session, const CAbstractUPnPDevice* device) {
    context.session = session;
    context.strName = device ? LBString(device->GetFriendlyName()) : LBString();
    context.strAddress = device ? LBString(device->GetIPAddress()) : LBString();
    context.strUDNPrefix = device ? LBString(device->GetUDNPrefix()) : LBString();
    context.strUserName.Empty();
    context.strPublicPath.Empty();
    context.strPublicDrive.Empty();
    context.strPrivatePath.Empty();
    context.strPrivateDrive.Empty();
    context.bPublicMapped = 0;
    context.bPrivateMapped = 0;
    // strPassword stays: the user's password carries over to the next device.
}
