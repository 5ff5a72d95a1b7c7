// Plug-ins whose work lies outside what the host needs: registered, owned by
// the registrar, and otherwise quiet.

#include "standin/plugins/standin_plugin.h"

namespace standin {
namespace {

class InertPlugin : public flutter::Plugin {};

}  // namespace

void AddStandinPlugin(flutter::PluginRegistrarWindows* registrar) {
  registrar->AddPlugin(std::make_unique<InertPlugin>());
}

}  // namespace standin
