// The stand-in messenger's connections and contacts, and what plugins
// registered with it.
#include "model.h"

#include "words.h"

bool medium_matches(const std::string &wanted, const std::string &medium)
{
    return wanted.empty() || same_text_nocase(wanted, medium);
}

Connection *Model::find_connection(const std::string &medium, const std::string &name)
{
    for (Connection &connection : connections) {
        if (same_text_nocase(connection.medium, medium) && connection.name == name) return &connection;
    }
    return nullptr;
}

Connection *Model::connection_by_id(const std::string &medium, int32_t id)
{
    for (Connection &connection : connections) {
        if (connection.id == id && medium_matches(medium, connection.medium)) return &connection;
    }
    return nullptr;
}

Connection &Model::set_connection(const std::string &medium, const std::string &name,
                                  const std::string &status, const std::string &display)
{
    Connection *found = find_connection(medium, name);
    if (found != nullptr) {
        found->status = status;
        if (!display.empty()) found->display = display;
        return *found;
    }
    Connection connection;
    connection.id = next_connection++;
    connection.medium = medium;
    connection.name = name;
    connection.status = status;
    connection.display = display.empty() ? name : display;
    connections.push_back(connection);
    return connections.back();
}

static std::string word_or(const std::vector<std::string> &words, size_t index, const std::string &otherwise)
{
    return index < words.size() ? words[index] : otherwise;
}

bool Model::add_from_words(const std::vector<std::string> &words, std::string &error)
{
    if (!words.empty() && words[0] == "connection") {
        if (words.size() < 3 || words.size() > 5) {
            error = "usage: connection MEDIUM NAME [STATUS [DISPLAY]]";
            return false;
        }
        if (find_connection(words[1], words[2]) != nullptr) {
            error = "connection " + words[1] + " " + words[2] + " exists already";
            return false;
        }
        set_connection(words[1], words[2], word_or(words, 3, "offline"), word_or(words, 4, ""));
        return true;
    }
    if (!words.empty() && words[0] == "contact") {
        if (words.size() < 4 || words.size() > 9) {
            error = "usage: contact MEDIUM CONNECTION NAME [DISPLAY [STATUS [SECTION [GROUP [NOTE]]]]]";
            return false;
        }
        Connection *connection = find_connection(words[1], words[2]);
        if (connection == nullptr) {
            error = "no connection " + words[1] + " " + words[2];
            return false;
        }
        Contact contact;
        contact.medium = connection->medium;
        contact.connection_id = connection->id;
        contact.name = words[3];
        contact.display = word_or(words, 4, words[3]);
        contact.status = word_or(words, 5, "offline");
        contact.section = word_or(words, 6, "Contacts");
        contact.group = word_or(words, 7, "");
        contact.note = word_or(words, 8, "");
        contacts.push_back(contact);
        return true;
    }
    error = "expected a connection or contact line";
    return false;
}

std::vector<const Connection *> Model::connections_of(const std::string &medium) const
{
    std::vector<const Connection *> found;
    for (const Connection &connection : connections) {
        if (medium_matches(medium, connection.medium)) found.push_back(&connection);
    }
    return found;
}

std::vector<const Contact *> Model::contacts_of(const std::string &medium, int32_t connection_id,
                                                const char *section) const
{
    std::vector<const Contact *> found;
    for (const Contact &contact : contacts) {
        if (!medium_matches(medium, contact.medium)) continue;
        if (connection_id != -1 && contact.connection_id != connection_id) continue;
        if (section != nullptr && contact.section != section) continue;
        found.push_back(&contact);
    }
    return found;
}

void Model::forget_plugin()
{
    list.reset();
    subscriptions.clear();
    aliases.clear();
}
