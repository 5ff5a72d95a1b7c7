#pragma once
// The DNS client's asynchronous-capable query, which the MinGW-w64 headers
// lack, under its SDK names and layouts.

#include <windows.h>

#include <cstddef>

// MinGW's windns.h has the result record but not the request, the cancel
// handle or the function. Layouts are the
// 64-bit SDK's: QueryName 8, QueryType 16, QueryOptions 24, pDnsServerList 32,
// InterfaceIndex 40, pQueryCompletionCallback 48, pQueryContext 56; 64 bytes.

#include <windns.h>

struct _DNS_ADDR_ARRAY;  // NOLINT(bugprone-reserved-identifier): the SDK's own tag
typedef struct _DNS_ADDR_ARRAY* PDNS_ADDR_ARRAY;

typedef struct _DNS_QUERY_REQUEST {  // NOLINT(bugprone-reserved-identifier): the SDK's own tag
  ULONG Version;
  PCWSTR QueryName;
  WORD QueryType;
  ULONG64 QueryOptions;
  PDNS_ADDR_ARRAY pDnsServerList;
  ULONG InterfaceIndex;
  PDNS_QUERY_COMPLETION_ROUTINE pQueryCompletionCallback;
  PVOID pQueryContext;
} DNS_QUERY_REQUEST, *PDNS_QUERY_REQUEST;
static_assert(offsetof(DNS_QUERY_REQUEST, QueryType) == 16);
static_assert(offsetof(DNS_QUERY_REQUEST, QueryOptions) == 24);
static_assert(offsetof(DNS_QUERY_REQUEST, InterfaceIndex) == 40);
static_assert(offsetof(DNS_QUERY_REQUEST, pQueryContext) == 56);
static_assert(sizeof(DNS_QUERY_REQUEST) == 64);

// The SDK declares the cancel handle DECLSPEC_ALIGN(8).
typedef struct alignas(8) _DNS_QUERY_CANCEL {  // NOLINT(bugprone-reserved-identifier): the SDK's own tag
  CHAR Reserved[32];
} DNS_QUERY_CANCEL, *PDNS_QUERY_CANCEL;

static_assert(sizeof(DNS_QUERY_CANCEL) == 32);
static_assert(alignof(DNS_QUERY_CANCEL) == 8);

static_assert(offsetof(DNS_QUERY_RESULT, pQueryRecords) == 16);
static_assert(sizeof(DNS_QUERY_RESULT) == 32);

// Windows 8 and later only: looked up at run time, never imported.
typedef DNS_STATUS(WINAPI* DnsQueryExFn)(PDNS_QUERY_REQUEST pQueryRequest, PDNS_QUERY_RESULT pQueryResults,
                                         PDNS_QUERY_CANCEL pCancelHandle);
