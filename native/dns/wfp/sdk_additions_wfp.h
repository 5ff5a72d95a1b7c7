#pragma once
// Filtering-platform items the MinGW-w64 headers lack, under their SDK names
// and values, so the code reads the same as it would against the real SDK.

#include <windows.h>

// The MinGW headers stop at the first net-event versions and carry none of the
// layer and condition keys. Layouts are the 64-bit SDK's; the offsets in the
// static_asserts were worked out by hand from the reference definitions
// (natural alignment: FILETIME 4, pointers 8, FWP_BYTE_BLOB {UINT32, UINT8*} 16).

#include <fwpmu.h>

#include <cstddef>

#ifndef FWPM_SESSION_FLAG_DYNAMIC
#define FWPM_SESSION_FLAG_DYNAMIC 0x00000001
#endif

#ifndef FWPM_FILTER_FLAG_NONE
#define FWPM_FILTER_FLAG_NONE 0x00000000
#define FWPM_FILTER_FLAG_PERSISTENT 0x00000001
#define FWPM_FILTER_FLAG_BOOTTIME 0x00000002
#define FWPM_FILTER_FLAG_HAS_PROVIDER_CONTEXT 0x00000004
#define FWPM_FILTER_FLAG_CLEAR_ACTION_RIGHT 0x00000008
#define FWPM_FILTER_FLAG_PERMIT_IF_CALLOUT_UNREGISTERED 0x00000010
#define FWPM_FILTER_FLAG_DISABLED 0x00000020
#define FWPM_FILTER_FLAG_INDEXED 0x00000040
#endif

#ifndef FWPM_NET_EVENT_FLAG_IP_PROTOCOL_SET
#define FWPM_NET_EVENT_FLAG_IP_PROTOCOL_SET 0x00000001
#define FWPM_NET_EVENT_FLAG_LOCAL_ADDR_SET 0x00000002
#define FWPM_NET_EVENT_FLAG_REMOTE_ADDR_SET 0x00000004
#define FWPM_NET_EVENT_FLAG_LOCAL_PORT_SET 0x00000008
#define FWPM_NET_EVENT_FLAG_REMOTE_PORT_SET 0x00000010
#define FWPM_NET_EVENT_FLAG_APP_ID_SET 0x00000020
#define FWPM_NET_EVENT_FLAG_USER_ID_SET 0x00000040
#define FWPM_NET_EVENT_FLAG_SCOPE_ID_SET 0x00000080
#define FWPM_NET_EVENT_FLAG_IP_VERSION_SET 0x00000100
#define FWPM_NET_EVENT_FLAG_REAUTH_REASON_SET 0x00000200
#define FWPM_NET_EVENT_FLAG_PACKAGE_ID_SET 0x00000400
#endif

// timeStamp 0, flags 8, ipVersion 12, ipProtocol 16, localAddr 20,
// remoteAddr 36, localPort 52, remotePort 54, scopeId 56, appId 64,
// userId 80, addressFamily 88, packageSid 96; 104 bytes.
typedef struct FWPM_NET_EVENT_HEADER2_ {
  FILETIME timeStamp;
  UINT32 flags;
  FWP_IP_VERSION ipVersion;
  UINT8 ipProtocol;
  union {
    UINT32 localAddrV4;
    FWP_BYTE_ARRAY16 localAddrV6;
  };
  union {
    UINT32 remoteAddrV4;
    FWP_BYTE_ARRAY16 remoteAddrV6;
  };
  UINT16 localPort;
  UINT16 remotePort;
  UINT32 scopeId;
  FWP_BYTE_BLOB appId;
  SID* userId;
  FWP_AF addressFamily;
  SID* packageSid;
} FWPM_NET_EVENT_HEADER2;
static_assert(sizeof(FWPM_NET_EVENT_HEADER2) == 104);
static_assert(offsetof(FWPM_NET_EVENT_HEADER2, flags) == 8);
static_assert(offsetof(FWPM_NET_EVENT_HEADER2, ipVersion) == 12);
static_assert(offsetof(FWPM_NET_EVENT_HEADER2, ipProtocol) == 16);
static_assert(offsetof(FWPM_NET_EVENT_HEADER2, localAddrV4) == 20);
static_assert(offsetof(FWPM_NET_EVENT_HEADER2, remoteAddrV4) == 36);
static_assert(offsetof(FWPM_NET_EVENT_HEADER2, localPort) == 52);
static_assert(offsetof(FWPM_NET_EVENT_HEADER2, remotePort) == 54);

// filterId 0, layerId 8, reauthReason 12, originalProfile 16,
// currentProfile 20, msFwpDirection 24, isLoopback 28, vSwitchId 32,
// vSwitchSourcePort 48, vSwitchDestinationPort 52; 56 bytes.
typedef struct FWPM_NET_EVENT_CLASSIFY_DROP2_ {
  UINT64 filterId;
  UINT16 layerId;
  UINT32 reauthReason;
  UINT32 originalProfile;
  UINT32 currentProfile;
  UINT32 msFwpDirection;
  BOOL isLoopback;
  FWP_BYTE_BLOB vSwitchId;
  UINT32 vSwitchSourcePort;
  UINT32 vSwitchDestinationPort;
} FWPM_NET_EVENT_CLASSIFY_DROP2;
static_assert(sizeof(FWPM_NET_EVENT_CLASSIFY_DROP2) == 56);
static_assert(offsetof(FWPM_NET_EVENT_CLASSIFY_DROP2, layerId) == 8);
static_assert(offsetof(FWPM_NET_EVENT_CLASSIFY_DROP2, msFwpDirection) == 24);

// header 0, type 104, the per-type record pointer 112; 120 bytes. Only the
// classify-drop member is read; the others are kept as plain pointers.
typedef struct FWPM_NET_EVENT2_ {
  FWPM_NET_EVENT_HEADER2 header;
  FWPM_NET_EVENT_TYPE type;
  union {
    void* ikeMmFailure;
    void* ikeQmFailure;
    void* ikeEmFailure;
    FWPM_NET_EVENT_CLASSIFY_DROP2* classifyDrop;
    void* ipsecDrop;
    void* idpDrop;
    void* classifyAllow;
    void* capabilityDrop;
    void* capabilityAllow;
    void* classifyDropMac;
  };
} FWPM_NET_EVENT2;
static_assert(offsetof(FWPM_NET_EVENT2, type) == 104);
static_assert(offsetof(FWPM_NET_EVENT2, classifyDrop) == 112);
static_assert(sizeof(FWPM_NET_EVENT2) == 120);

typedef void(CALLBACK* FWPM_NET_EVENT_CALLBACK1)(void* context, const FWPM_NET_EVENT2* event);
// Resolved at run time: older systems (and Wine) do not export it.
typedef DWORD(WINAPI* FwpmNetEventSubscribe1Fn)(HANDLE engineHandle,
                                                const FWPM_NET_EVENT_SUBSCRIPTION0* subscription,
                                                FWPM_NET_EVENT_CALLBACK1 callback, void* context,
                                                HANDLE* eventsHandle);
typedef DWORD(WINAPI* FwpmNetEventUnsubscribe0Fn)(HANDLE engineHandle, HANDLE eventsHandle);

// Layer and condition keys, from the SDK's fwpmu.h.
inline constexpr GUID FWPM_LAYER_ALE_AUTH_CONNECT_V4 = {
    0xc38d57d1, 0x05a7, 0x4c33, {0x90, 0x4f, 0x7f, 0xbc, 0xee, 0xe6, 0x0e, 0x82}};
inline constexpr GUID FWPM_CONDITION_IP_LOCAL_ADDRESS = {
    0xd9ee00de, 0xc1ef, 0x4617, {0xbf, 0xe3, 0xff, 0xd8, 0xf5, 0xa0, 0x89, 0x57}};
inline constexpr GUID FWPM_CONDITION_IP_REMOTE_ADDRESS = {
    0xb235ae9a, 0x1d64, 0x49b8, {0xa4, 0x4c, 0x5f, 0xf3, 0xd9, 0x09, 0x50, 0x45}};
inline constexpr GUID FWPM_CONDITION_IP_SOURCE_ADDRESS = {
    0xae96897e, 0x2e94, 0x4bc9, {0xb3, 0x13, 0xb2, 0x7e, 0xe8, 0x0e, 0x57, 0x4d}};
inline constexpr GUID FWPM_CONDITION_IP_DESTINATION_ADDRESS = {
    0x2d79133b, 0xb390, 0x45c6, {0x86, 0x99, 0xac, 0xac, 0xea, 0xaf, 0xed, 0x33}};
inline constexpr GUID FWPM_CONDITION_IP_LOCAL_PORT = {
    0x0c1ba1af, 0x5765, 0x453f, {0xaf, 0x22, 0xa8, 0xf7, 0x91, 0xac, 0x77, 0x5b}};
inline constexpr GUID FWPM_CONDITION_IP_REMOTE_PORT = {
    0xc35a604d, 0xd22b, 0x4e1a, {0x91, 0xb4, 0x68, 0xf6, 0x74, 0xee, 0x67, 0x4b}};
inline constexpr GUID FWPM_CONDITION_IP_PROTOCOL = {
    0x3971ef2b, 0x623e, 0x4f9a, {0x8c, 0xb1, 0x6e, 0x79, 0xb8, 0x06, 0xb9, 0xa7}};
inline constexpr GUID FWPM_CONDITION_IP_LOCAL_INTERFACE = {
    0x4cd62a49, 0x59c3, 0x4969, {0xb7, 0xf3, 0xbd, 0xa5, 0xd3, 0x28, 0x90, 0xa4}};
inline constexpr GUID FWPM_CONDITION_IP_ARRIVAL_INTERFACE = {
    0x618a9b6d, 0x386b, 0x4136, {0xad, 0x6e, 0xb5, 0x15, 0x87, 0xcf, 0xb1, 0xcd}};
inline constexpr GUID FWPM_CONDITION_IP_NEXTHOP_INTERFACE = {
    0x93ae8f5b, 0x7f6f, 0x4719, {0x98, 0xc8, 0x14, 0xe9, 0x74, 0x29, 0xef, 0x04}};
inline constexpr GUID FWPM_CONDITION_INTERFACE_INDEX = {
    0x667fd755, 0xd695, 0x434a, {0x8a, 0xf5, 0xd3, 0x83, 0x5a, 0x12, 0x59, 0xbc}};
inline constexpr GUID FWPM_CONDITION_SUB_INTERFACE_INDEX = {
    0x0cd42473, 0xd621, 0x4be3, {0xae, 0x8c, 0x72, 0xa3, 0x48, 0xd2, 0x83, 0xe1}};
inline constexpr GUID FWPM_CONDITION_INTERFACE_TYPE = {
    0xdaf8cd14, 0xe09e, 0x4c93, {0xa5, 0xae, 0xc5, 0xc1, 0x3b, 0x73, 0xff, 0xca}};
inline constexpr GUID FWPM_CONDITION_COMPARTMENT_ID = {
    0x35a791ab, 0x04ac, 0x4ff2, {0xa6, 0xbb, 0xda, 0x6c, 0xfa, 0xc7, 0x18, 0x06}};
inline constexpr GUID FWPM_CONDITION_DIRECTION = {
    0x8784c146, 0xca97, 0x44d6, {0x9f, 0xd1, 0x19, 0xfb, 0x18, 0x40, 0xcb, 0xf7}};
inline constexpr GUID FWPM_CONDITION_FLAGS = {
    0x632ce23b, 0x5167, 0x435c, {0x86, 0xd7, 0xe9, 0x03, 0x68, 0x4a, 0xa8, 0x0c}};
inline constexpr GUID FWPM_CONDITION_ALE_APP_ID = {
    0xd78e1e87, 0x8644, 0x4ea5, {0x94, 0x37, 0xd8, 0x09, 0xec, 0xef, 0xc9, 0x71}};
inline constexpr GUID FWPM_CONDITION_ALE_ORIGINAL_APP_ID = {
    0x0e6cd086, 0xe1fb, 0x4212, {0x84, 0x2f, 0x8a, 0x9f, 0x99, 0x3f, 0xb3, 0xf6}};
inline constexpr GUID FWPM_CONDITION_ALE_USER_ID = {
    0xaf043a0a, 0xb34d, 0x4f86, {0x97, 0x9c, 0xc9, 0x03, 0x71, 0xaf, 0x6e, 0x66}};
inline constexpr GUID FWPM_CONDITION_ALE_PACKAGE_ID = {
    0x71bc78fa, 0xf17c, 0x4997, {0xa6, 0x02, 0x6a, 0xbb, 0x26, 0x1f, 0x35, 0x1c}};
inline constexpr GUID FWPM_CONDITION_NET_EVENT_TYPE = {
    0x206e9996, 0x490e, 0x40cf, {0xb8, 0x31, 0xb3, 0x86, 0x41, 0xeb, 0x6f, 0xcb}};
inline constexpr GUID FWPM_CONDITION_NEXTHOP_INTERFACE_INDEX = {
    0x138e6888, 0x7ab8, 0x4d65, {0x9e, 0xe8, 0x05, 0x91, 0xbc, 0xf6, 0xa4, 0x94}};
