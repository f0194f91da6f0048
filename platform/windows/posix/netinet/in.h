#pragma once

// Internet addresses and byte-order helpers come with Winsock in the Windows build.

#include <sys/socket.h>
