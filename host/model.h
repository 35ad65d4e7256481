// The stand-in messenger's state: its contact list, connections and
// contacts, and what plugins have registered with it (subscriptions,
// aliases, alerts, HTTP requests). Plain data and the rules that change it;
// nothing here calls the plugin.
#ifndef TOBRISK_HOST_MODEL_H
#define TOBRISK_HOST_MODEL_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "../src/host.h"
#include "contact_list.h"

// --- Connections and contacts ------------------------------------------------

struct Connection {
    int32_t id = 0;
    std::string medium, name, status, display;
};

struct Contact {
    std::string medium;
    int32_t connection_id = 0;
    std::string name, display, status, section, group, note;
};

// --- What plugins registered ---------------------------------------------------

struct Subscription {
    int32_t id = 0;
    std::string type, script;
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

struct Alias {
    int32_t id = 0;
    std::string text;
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

struct Alert {
    int32_t number = 0;
    std::string type, text;
    bool has_link = false;
    std::string link;
    int32_t word_wrap = 0, formatted = 0;
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

struct Request {
    int32_t number = 0;
    std::string url;
    bool has_variable = false;
    std::string variable;
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

struct Model {
    ContactList list;
    std::vector<Connection> connections;
    std::vector<Contact> contacts;
    std::map<int32_t, Subscription> subscriptions;
    std::map<int32_t, Alias> aliases;
    std::map<int32_t, Alert> alerts;
    std::map<int32_t, Request> requests;       // not yet completed

    int32_t next_connection = 1, next_subscription = 1, next_alias = 1;
    int32_t next_alert = 1, next_request = 1;

    Connection *find_connection(const std::string &medium, const std::string &name);
    Connection *connection_by_id(const std::string &medium, int32_t id);
    // Adds a connection, or changes the status of the one of that name.
    Connection &set_connection(const std::string &medium, const std::string &name,
                               const std::string &status, const std::string &display);
    // "connection MEDIUM NAME [STATUS [DISPLAY]]" or
    // "contact MEDIUM CONNECTION NAME [DISPLAY [STATUS [SECTION [GROUP [NOTE]]]]]".
    // False with a message when the words are not such a line.
    bool add_from_words(const std::vector<std::string> &words, std::string &error);

    std::vector<const Connection *> connections_of(const std::string &medium) const;
    std::vector<const Contact *> contacts_of(const std::string &medium, int32_t connection_id,
                                             const char *section) const;

    // What a plugin registered ends with it: its entries, subscriptions,
    // aliases. Connections and contacts are the messenger's and stay.
    void forget_plugin();
};

// Whether a medium word selects a connection's medium: the same letters in
// any case; an empty word selects every medium.
bool medium_matches(const std::string &wanted, const std::string &medium);

#endif
