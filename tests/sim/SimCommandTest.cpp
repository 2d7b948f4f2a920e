#include "sim/SimCommand.h"

#include <gtest/gtest.h>

using namespace lorimet;

TEST(SimCommand, Parses) {
    using Kind = SimCommand::Kind;
    struct Case {
        const char16_t* text;
        Kind kind;
        double value;
    };
    const Case cases[] = {
        {u"inject 4.5", Kind::Inject, 4.5},
        {u"  inject   12,5 ", Kind::Inject, 12.5},
        {u"silence 30", Kind::Silence, 30},
        {u"period 0.5", Kind::Period, 0.5},
        {u"signal 0.05", Kind::Signal, 0.05},
        {u"temperature 18", Kind::Temperature, 18},
        {u"quit", Kind::Quit, 0},
    };
    for (const Case& c : cases) {
        QString error;
        const auto command = parseSimCommand(c.text, &error);
        ASSERT_TRUE(command) << error.toStdString();
        EXPECT_EQ(command->kind, c.kind);
        EXPECT_EQ(command->value, c.value);
    }
    QString error;
    EXPECT_EQ(parseSimCommand(u"knob изм.", &error)->knob, KnobPosition::Measuring);
    EXPECT_EQ(parseSimCommand(u"knob под.", &error)->knob, KnobPosition::Preparation);
    EXPECT_EQ(parseSimCommand(u"fault unit", &error)->fault, LineFault::WrongUnit);
    EXPECT_EQ(parseSimCommand(u"fault temperature", &error)->fault, LineFault::BlankTemperature);
    EXPECT_EQ(parseSimCommand(u"fault garbage", &error)->fault, LineFault::Garbage);
    EXPECT_EQ(parseSimCommand(u"fault split", &error)->fault, LineFault::Split);
    EXPECT_EQ(parseSimCommand(u"fault zeros", &error)->fault, LineFault::Zeros);
    EXPECT_EQ(parseSimCommand(u"fault long", &error)->fault, LineFault::LongNoise);
    const auto flood = parseSimCommand(u"flood 2,5", &error);
    ASSERT_TRUE(flood);
    EXPECT_EQ(flood->kind, SimCommand::Kind::Flood);
    EXPECT_EQ(flood->value, 2.5);
    EXPECT_FALSE(parseSimCommand(u"flood 61", &error));
}

TEST(SimCommand, Refuses) {
    for (const char16_t* bad : {u"", u"jump", u"inject", u"inject -1", u"inject four", u"knob изм", u"knob",
                                u"fault smoke", u"period 0", u"quit now", u"silence 5 6"}) {
        QString error;
        EXPECT_FALSE(parseSimCommand(bad, &error)) << QString::fromUtf16(bad).toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(SimCommand, ScriptInTimeOrder) {
    int badLine = -1;
    QString error;
    const auto script =
        parseSimScript(QStringLiteral("# a sample\n\n5 knob изм.\n2.5 inject 4\n5 fault unit\n"
                                      "0 period 0.5\n"),
                       &badLine, &error);
    ASSERT_TRUE(script) << error.toStdString();
    ASSERT_EQ(script->size(), 4);
    EXPECT_EQ((*script)[0].atMs, 0);
    EXPECT_EQ((*script)[1].atMs, 2500);
    EXPECT_EQ((*script)[1].command.kind, SimCommand::Kind::Inject);
    EXPECT_EQ((*script)[2].command.kind, SimCommand::Kind::Knob); // equal times keep the file's order
    EXPECT_EQ((*script)[3].command.kind, SimCommand::Kind::Fault);

    EXPECT_FALSE(parseSimScript(QStringLiteral("1 inject 4\nsoon knob изм.\n"), &badLine, &error));
    EXPECT_EQ(badLine, 2);
    EXPECT_FALSE(parseSimScript(QStringLiteral("1 inject 4\n\n3 dance\n"), &badLine, &error));
    EXPECT_EQ(badLine, 3);
}
