#pragma once
// A rig served by SimdServer on a socket in a temporary directory, with the
// rig commands, as qel-simd runs it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include "os/remote/RemoteOs.h"
#include "sim/Rig.h"
#include "sim/simd/SimdServer.h"
#include "sim/RigCommands.h"

namespace qel::sim::test {

class ServedRig : public ::testing::Test {
protected:
    ServedRig() {
        char tmpl[] = "/tmp/qel-simd-test-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        dir = d != nullptr ? d : "";
        path = dir + "/simd.sock";
    }
    ~ServedRig() override {
        stop();
        ::rmdir(dir.c_str());
    }
    void SetUp() override { ASSERT_FALSE(dir.empty()); start(); }

    void start() {
        owned = Rig::makeDefault();
        rig = owned.get();
        server = std::make_unique<SimdServer>(*rig, serveRigCommands(*rig, commands));
        std::string error;
        ASSERT_TRUE(server->start(path, error)) << error;
    }
    void stop() {
        if (server) server->stop();
        server.reset();
        rig = nullptr;
        owned.reset();
    }
    std::unique_ptr<os::RemoteOs> client() { return std::make_unique<os::RemoteOs>(path); }

    std::string dir, path;
    RigCommands commands;
    std::unique_ptr<Rig> owned;
    Rig* rig = nullptr;
    std::unique_ptr<SimdServer> server;
};

}  // namespace qel::sim::test
