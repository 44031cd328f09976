#pragma once
// A rig served by SimdServer on a socket in a temporary directory, with the
// rig commands of qelctl, as qel-simd runs it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include "os/remote/RemoteOs.h"
#include "sim/Rig.h"
#include "sim/simd/SimdServer.h"
#include "tools/qelctl/Qelctl.h"

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
        tool = std::make_unique<tools::Qelctl>(Rig::makeDefault());
        rig = &tool->rig();
        server = std::make_unique<SimdServer>(*rig, [this](const std::vector<std::string>& args, std::string& out,
                                                           std::string& err) {
            std::ostringstream o, e;
            const int code = tool->runRigCommand(args, o, e);
            out = o.str();
            err = e.str();
            return code;
        });
        std::string error;
        ASSERT_TRUE(server->start(path, error)) << error;
    }
    void stop() {
        if (server) server->stop();
        server.reset();
        rig = nullptr;
        tool.reset();
    }
    std::unique_ptr<os::RemoteOs> client() { return std::make_unique<os::RemoteOs>(path); }

    std::string dir, path;
    std::unique_ptr<tools::Qelctl> tool;
    Rig* rig = nullptr;
    std::unique_ptr<SimdServer> server;
};

}  // namespace qel::sim::test
