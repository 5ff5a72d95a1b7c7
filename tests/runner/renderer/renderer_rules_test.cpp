#include "runner/renderer/renderer_rules.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(RendererRules, RendererSettingIsTrimmedAndCaseFolded) {
  EXPECT_TRUE(ChooseWarp(L" WARP\r\n", false, false));
  EXPECT_TRUE(ChooseWarp(L"\twarp", false, false));
  EXPECT_FALSE(ChooseWarp(L"Hardware", true, true));
  EXPECT_FALSE(ChooseWarp(L"HARDWARE ", false, true));
  for (const wchar_t* other : {L"", L"software", L"war p", L"warp2", L"d3d"}) {
    EXPECT_FALSE(ChooseWarp(other, false, false)) << other;
    EXPECT_TRUE(ChooseWarp(other, true, false)) << other;
    EXPECT_TRUE(ChooseWarp(other, false, true)) << other;
  }
}

TEST(RendererRules, RemoteSessionNames) {
  for (const wchar_t* name : {L"RDP-Tcp#0", L"rdp#1", L" Remote ", L"RDP-"}) EXPECT_TRUE(IsRemoteSessionName(name));
  for (const wchar_t* name : {L"Console", L"", L"rdp", L"remote1", L"xrdp-1"}) EXPECT_FALSE(IsRemoteSessionName(name));
}

TEST(RendererRules, VirtualFirmwareTable) {
  struct Row {
    const wchar_t* manufacturer;
    const wchar_t* product;
    bool virtualHardware;
  };
  const Row rows[] = {
      {L"VMware, Inc.", L"", true},
      {L"", L"VMware Virtual Platform", true},
      {L"innotek GmbH", L"VirtualBox", true},
      {L"Parallels Software International Inc.", L"", true},
      {L"", L"Parallels Virtual Platform", true},
      {L"QEMU", L"", true},
      {L"QEMU Corp", L"", false},  // manufacturer must be exactly qemu
      {L"", L"Standard PC (i440FX + PIIX, 1996) QEMU", true},
      {L" Microsoft Corporation", L"Virtual Machine\r\n", true},
      {L"Microsoft Corporation", L"Surface Laptop", false},
      {L"Dell Inc.", L"XPS 13", false},
      {L"", L"", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsVirtualFirmware(row.manufacturer, row.product), row.virtualHardware)
        << "manufacturer [" << row.manufacturer << "] product [" << row.product << "]";
  }
}

TEST(RendererRules, PolicyAndDeviceLines) {
  EXPECT_EQ(FormatPolicyLine(true, false, true, false, true),
            "policy=WARP remote=0 vmware=1 virtualHardware=0 cornerFallback=1");
  EXPECT_EQ(FormatPolicyLine(false, false, false, true, true),
            "policy=default remote=0 vmware=0 virtualHardware=1 cornerFallback=1");
  EXPECT_EQ(FormatWarpDeviceLine(0), "D3D11CreateDevice driver=WARP hr=0x00000000");
  EXPECT_EQ(FormatWarpDeviceLine(static_cast<long>(0x887A0004u)), "D3D11CreateDevice driver=WARP hr=0x887a0004");
}

TEST(RendererRules, SoftwareEvidenceAndVerification) {
  AdapterFacts warp{true, "Microsoft Basic Render Driver", 0x1414, 0x8C, 0};
  AdapterFacts flagged{true, "Remote", 0x10DE, 0x1, 2};
  AdapterFacts hardware{true, "NVIDIA", 0x10DE, 0x2484, 0};
  AdapterFacts missing;
  EXPECT_TRUE(IsSoftwareAdapter(warp));
  EXPECT_TRUE(IsSoftwareAdapter(flagged));
  EXPECT_FALSE(IsSoftwareAdapter(hardware));
  EXPECT_FALSE(IsSoftwareAdapter(missing));

  EXPECT_EQ(FormatAdapterLine("main", warp, 2, 5),
            "window=main adapter=Microsoft Basic Render Driver vendor=0x1414 device=0x008c flags=0x0 software=1 "
            "softwareEvidence=basicRenderIdentity warpDevices=2 stage=adapter.inspect parent=graphics.adapterVerify "
            "status=success durationMs=5 timingScope=leaf");
  EXPECT_NE(FormatAdapterLine("main", flagged, 0, 0).find("flags=0x2 software=1 softwareEvidence=dxgiFlag"),
            std::string::npos);
  EXPECT_NE(FormatAdapterLine("main", hardware, 0, 0).find("software=0 softwareEvidence=hardwareIdentity"),
            std::string::npos);
  EXPECT_NE(FormatAdapterLine("secondary", missing, 0, 0)
                .find("adapter=unavailable vendor=0x0000 device=0x0000 flags=0x0 software=0 "
                      "softwareEvidence=unavailable"),
            std::string::npos);

  EXPECT_TRUE(AdapterAcceptable(false, false, 0));
  EXPECT_TRUE(AdapterAcceptable(true, true, 1));
  EXPECT_FALSE(AdapterAcceptable(true, true, 0));
  EXPECT_FALSE(AdapterAcceptable(true, false, 3));
}

}  // namespace
}  // namespace orv
