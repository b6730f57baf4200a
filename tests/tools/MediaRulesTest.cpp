#include "sdp/SDPObject.h"
#include "support/MediaRulesSample.h"
#include "tools/MediaRules.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mediarules;
using Texts = std::vector<std::string>;

namespace {

const CPluginAttribute& Definition(const std::vector<CAttributeChoice>& choices, const std::string& text)
{
    for (const auto& c : choices)
        if (c.text == text)
            return *c.definition;
    throw std::runtime_error("no attribute " + text);
}

} // namespace

TEST(MediaRules, ChoicesFollowTheEntryFromPageToPage)
{
    const CPluginTable rules = SampleRules();
    CSDPMedia entry;
    const Texts media = MediaChoices(rules);
    EXPECT_EQ(media, (Texts{"audio", "video"}));
    EXPECT_EQ(MediaPreselect(media, entry), 0) << "a new entry starts on the first";
    entry.extras.Edit().mediaLabel = "VIDEO";
    EXPECT_EQ(MediaPreselect(media, entry), 1);
    entry.extras.Edit().mediaLabel = "text";
    EXPECT_EQ(MediaPreselect(media, entry), -1);

    StoreMedia(entry, "audio");
    EXPECT_EQ(entry.media, "audio");
    const Texts protocols = ProtocolChoices(rules, entry);
    ASSERT_EQ(protocols, (Texts{"RTP"}));
    StoreProtocol(rules, entry, "RTP");
    EXPECT_EQ(entry.protocol, "RTP/AVP");
    EXPECT_EQ(entry.extras->protocolLabel, "RTP");

    const Texts formats = FormatChoices(rules, entry);
    EXPECT_EQ(formats, (Texts{"PCMU", "PCMA"})) << "the catch-all format names no payload";
    entry.extras.Edit().formatLabel = "pcma";
    EXPECT_EQ(FormatPreselect(formats, entry), 1);
    StoreFormat(rules, entry, "PCMA");
    EXPECT_EQ(entry.formatList, "8");
    EXPECT_EQ(entry.extras->formatLabel, "PCMA");
    EXPECT_EQ(ToolChoices(rules, entry), (Texts{"Tool A"}));
    EXPECT_EQ(AttributeChoices(rules, entry).size(), 2u) << "the rule's own: mute and title";

    StoreFormat(rules, entry, "PCMU");
    const Texts tools = ToolChoices(rules, entry);
    EXPECT_EQ(tools, (Texts{"Tool A", "Tool B"}));
    entry.extras.Edit().toolChoice = "tool b";
    EXPECT_EQ(ToolPreselect(tools, entry), 1);
    entry.extras.Edit().toolChoice = "Tool B";
    EXPECT_TRUE(AttributeChoices(rules, entry).empty()) << "the chosen tool's rule has none";
    entry.extras.Edit().toolChoice = "Tool A";
    Texts names;
    for (const auto& c : AttributeChoices(rules, entry))
        names.push_back(c.text);
    EXPECT_EQ(names, (Texts{"mute", "title", "Quality"}));
}

TEST(MediaRules, EachAttributeIsCarriedOnce)
{
    const CPluginTable rules = SampleRules();
    CSDPMedia entry;
    entry.extras.Edit().mediaLabel = "audio";
    entry.protocol = "RTP/AVP";
    entry.formatList = "0";
    entry.extras.Edit().toolChoice = "Tool A";
    entry.attributes = {"framerate:25"};
    const auto choices = AttributeChoices(rules, entry);
    const CPluginAttribute& quality = Definition(choices, "Quality");
    const CPluginAttribute& mute = Definition(choices, "mute");
    const CPluginAttribute& title = Definition(choices, "title");

    EXPECT_EQ(ValueChoices(quality), (Texts{"High (*)", "Low"}));
    EXPECT_EQ(ValueChoices(mute), (Texts{"Yes", "No"}));
    EXPECT_TRUE(IsFreeText(title));
    EXPECT_TRUE(ValueChoices(title).empty());

    ApplyDefault(entry, quality);
    ChooseValue(entry, quality, "Low");
    ApplyDefault(entry, quality); // coming back to the name keeps the choice
    EXPECT_EQ(CurrentValue(entry, quality), "low");
    ChooseValue(entry, mute, "Yes");
    ChooseValue(entry, mute, "Yes");
    StoreFreeText(entry, title, "Hello");
    CPluginAttribute rate;
    rate.name = "rate";
    ChooseValue(entry, rate, "Yes");
    EXPECT_EQ(entry.attributes, (Texts{"framerate:25", "quality:low", "mute", "title:Hello", "rate"}));
    EXPECT_EQ(JoinAttributes(entry, "; "), "framerate:25; quality:low; mute; title:Hello; rate; ");

    ChooseValue(entry, mute, "No");
    StoreFreeText(entry, title, "");
    ChooseValue(entry, quality, "High (*)");
    EXPECT_EQ(entry.attributes, (Texts{"framerate:25", "quality:high", "rate"}));
}

TEST(MediaRules, PortsByMediaKind)
{
    const std::tuple<const char*, int, int> cases[] = { // media, draw, port
        {"audio", 0, 16384},      {"audio", 32767, 32766},     {"audio", 1, 16384},     {"whiteboard", 32767, 49151},
        {"whiteboard", 1, 32769}, {"video", 32767, 65534},     {"video", 3, 49154},     {"directory", 32767, 65535},
        {"Audio", 1, 49153},
    };
    for (const auto& [media, draw, port] : cases)
        EXPECT_EQ(ProposePort(media, draw), port) << media << " " << draw;
}
