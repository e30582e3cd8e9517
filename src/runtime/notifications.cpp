#include "runtime/notifications.h"

#include <algorithm>

#include "util/text.h"

namespace tf {

std::string selWithName(std::string_view name) {
    const std::vector<std::string> parts = split(name, '.');
    if (parts.size() == 3) {
        return "handleSignal_" + parts[1] + "_" + parts[2] + ":";
    }
    if (parts.size() == 2) {
        return "handleSignal_" + parts[0] + "_" + parts[1] + ":";
    }
    return "handleSignal:";
}

SignalObserver::~SignalObserver() {
    removeAllNotification();
}

void SignalObserver::addNotification(std::string_view name) {
    NotificationCenter::defaultCenter().removeObserver(this, name);
    NotificationCenter::defaultCenter().addObserver(this, name, selWithName(name));
}

void SignalObserver::removeNotification(std::string_view name) {
    NotificationCenter::defaultCenter().removeObserver(this, name);
}

void SignalObserver::removeAllNotification() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void SignalObserver::handleSignal(const Notification& /*notification*/) {}

void SignalObserver::setSignalHandler(std::string selector,
                                      std::function<void(const Notification&)> handler) {
    const std::lock_guard guard(handlersMutex_);
    handlers_.insert_or_assign(std::move(selector), std::move(handler));
}

void SignalObserver::performSignal(std::string_view selector, const Notification& notification) {
    if (selector == "handleSignal:") {
        handleSignal(notification);
        return;
    }
    std::function<void(const Notification&)> handler;
    {
        const std::lock_guard guard(handlersMutex_);
        if (const auto it = handlers_.find(selector); it != handlers_.end()) {
            handler = it->second;
        }
    }
    if (handler) {
        handler(notification);
    }
}

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(SignalObserver* observer, std::string_view name,
                                     std::string selector) {
    const std::lock_guard guard(mutex_);
    registrations_.push_back({observer, std::string(name), std::move(selector)});
}

void NotificationCenter::removeObserver(SignalObserver* observer, std::string_view name) {
    const std::lock_guard guard(mutex_);
    std::erase_if(registrations_,
                  [&](const Registration& r) { return r.observer == observer && r.name == name; });
}

void NotificationCenter::removeObserver(SignalObserver* observer) {
    const std::lock_guard guard(mutex_);
    std::erase_if(registrations_, [&](const Registration& r) { return r.observer == observer; });
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::pair<SignalObserver*, std::string>> targets;
    {
        const std::lock_guard guard(mutex_);
        for (const Registration& r : registrations_) {
            if (r.name == notification.name) {
                targets.emplace_back(r.observer, r.selector);
            }
        }
    }
    // Handlers may register or unregister while we deliver; only still-registered
    // observers are called.
    // Not a structured binding: clang before 16 cannot capture one in the lambda below.
    for (const auto& target : targets) {
        SignalObserver* const observer = target.first;
        bool registered = false;
        {
            const std::lock_guard guard(mutex_);
            registered = std::any_of(
                registrations_.begin(), registrations_.end(), [&](const Registration& r) {
                    return r.observer == observer && r.name == notification.name;
                });
        }
        if (registered) {
            observer->performSignal(target.second, notification);
        }
    }
}

void postNotification(std::string_view name, std::any object, Dict userInfo) {
    NotificationCenter::defaultCenter().post(
        Notification{std::string(name), std::move(object), std::move(userInfo)});
}

void postNotification(std::string_view name, std::any object) {
    postNotification(name, std::move(object), Dict{});
}

void postNotification(std::string_view name) {
    postNotification(name, std::any{}, Dict{});
}

}  // namespace tf
