// The listener's answer to the connect data: the served SID, the served services, and the refusals.
#include "emulator/EmuListener.h"

#include <gtest/gtest.h>

TEST(EmuListener, ServesItsSidAndServicesAndRefusesOthersByKind) {
    vemu::EmuOptions o;
    o.sid = "bnx";
    o.service = "pdb1.example.com";
    struct {
        const char* connectData;
        int refusal;
    } cases[] = {
        {"(CONNECT_DATA=(SID=BNX))", 0},
        {"(CONNECT_DATA=(SID=orcl))", 12505},
        {"(CONNECT_DATA=(SERVICE_NAME=PDB1.Example.com))", 0},
        {"(connect_data = (service_name = pdb1.example.com ) (SERVER=DEDICATED))", 0},
        {"(CONNECT_DATA=(SERVICE_NAME=bnx))", 0}, // the instance's own name is a service as well
        {"(CONNECT_DATA=(SERVICE_NAME=pdb2.example.com))", 12514},
        {"(CONNECT_DATA=(SID=orcl)(SERVICE_NAME=pdb1.example.com))", 12505}, // the SID decides
        {"(CONNECT_DATA=(INSTANCE_NAME=bnx))", 12505},
        {"", 12505},
    };
    for (auto& c : cases) {
        std::string d =
            std::string("(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h)(PORT=1))") + c.connectData + ")";
        EXPECT_EQ(vemu::ListenerRefusal(d, o), c.refusal) << c.connectData;
    }
    o.service.clear();
    EXPECT_EQ(vemu::ListenerRefusal("(CONNECT_DATA=(SERVICE_NAME=pdb1.example.com))", o), 12514);

    std::vector<uint8_t> body = vemu::ListenerRefuseBody(12514);
    ASSERT_GT(body.size(), 4u);
    std::string text(body.begin() + 4, body.end());
    EXPECT_EQ(size_t(body[2] << 8 | body[3]), text.size());
    EXPECT_NE(text.find("(ERR=12514)"), std::string::npos) << text;
}
