#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keel/NoteSubscriber.h"
#include "keel/NotificationCenter.h"

using keel::Notification;
using keel::NotificationCenter;

TEST(NotificationCenterTest, DeliversByNameAndObjectWithUserInfo) {
    NotificationCenter center;
    int sender = 0, other = 0;
    std::vector<std::string> seen;
    center.addObserver("A", nullptr, [&](const Notification& n) {
        seen.push_back("any:" + n.userInfoValue<std::string>("Key").value_or("-"));
    });
    center.addObserver("A", &sender, [&](const Notification&) { seen.push_back("sender"); });
    center.addObserver("B", nullptr, [&](const Notification&) { seen.push_back("B"); });

    center.post("A", &sender, {{"Key", std::string("v")}});
    center.post("A", &other);
    EXPECT_EQ(seen, (std::vector<std::string>{"any:v", "sender", "any:-"}));
}

TEST(NotificationCenterTest, UserInfoValueOfTheWrongTypeIsAbsent) {
    Notification n{"N", nullptr, {{"Key", 3}}};
    EXPECT_FALSE(n.userInfoValue<std::string>("Key"));
    EXPECT_EQ(n.userInfoValue<int>("Key"), 3);
    EXPECT_FALSE(n.userInfoValue<int>("Missing"));
}

TEST(NotificationCenterTest, SubscriberStopsObservingWhenReleased) {
    NotificationCenter center;
    int count = 0;
    {
        keel::NoteSubscriber subscriber(center);
        subscriber.subscribe({"A", "B"}, nullptr, [&](const Notification&) { ++count; });
        center.post("A");
        center.post("B");
    }
    center.post("A");
    EXPECT_EQ(count, 2);
}

TEST(NotificationCenterTest, AnObserverMayRemoveAnotherDuringAPost) {
    NotificationCenter center;
    int secondCalls = 0;
    NotificationCenter::Token second = 0;
    center.addObserver("A", nullptr, [&](const Notification&) { center.removeObserver(second); });
    second = center.addObserver("A", nullptr, [&](const Notification&) { ++secondCalls; });
    center.post("A");
    center.post("A");
    EXPECT_EQ(secondCalls, 0);
}
