#include "storage/SecretServiceBackend.h"

#include <libsecret/secret.h>

using namespace Qt::Literals::StringLiterals;

namespace tessel::SecretServiceBackend {

namespace {

const SecretSchema *gatewayTokenSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema made{};
        made.name = "org.tessel.TesselShell.GatewayToken";
        made.flags = SECRET_SCHEMA_NONE;
        made.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        made.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        made.attributes[2] = {"accessGroup", SECRET_SCHEMA_ATTRIBUTE_STRING};
        made.attributes[3] = {"synchronizable", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return made;
    }();
    return &schema;
}

// The four attributes of one item, as a GHashTable that borrows this object's strings.
class ItemAttributes
{
public:
    ItemAttributes(const QString &account, const GatewaySecretStoreConfiguration &location)
        : m_service(location.service.toUtf8())
        , m_account(account.toUtf8())
        , m_accessGroup(location.accessGroup.value_or(QString()).toUtf8())
        , m_synchronizable(location.isSynchronizable ? "true" : "false")
        , m_table(g_hash_table_new(g_str_hash, g_str_equal))
    {
        insert("service", m_service);
        insert("account", m_account);
        insert("accessGroup", m_accessGroup);
        insert("synchronizable", m_synchronizable);
    }
    ~ItemAttributes() { g_hash_table_unref(m_table); }
    ItemAttributes(const ItemAttributes &) = delete;
    ItemAttributes &operator=(const ItemAttributes &) = delete;

    GHashTable *table() const { return m_table; }

private:
    void insert(const char *name, const QByteArray &value)
    {
        g_hash_table_insert(m_table, const_cast<char *>(name), const_cast<char *>(value.constData()));
    }

    QByteArray m_service;
    QByteArray m_account;
    QByteArray m_accessGroup;
    QByteArray m_synchronizable;
    GHashTable *m_table;
};

// Failures are absorbed by the store's rules; the error text is not needed.
void discard(GError *error)
{
    if (error)
        g_error_free(error);
}

} // namespace

GatewaySecretStoreBackend make()
{
    return {&readToken, &upsertToken, &removeToken};
}

std::optional<QString> readToken(const QString &account, const GatewaySecretStoreConfiguration &location)
{
    const ItemAttributes attributes(account, location);
    GError *error = nullptr;
    SecretValue *value = secret_password_lookupv_binary_sync(gatewayTokenSchema(), attributes.table(), nullptr, &error);
    discard(error);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar *bytes = secret_value_get(value, &length);
    const std::optional<QString> token = tokenFromStoredBytes(QByteArray(bytes, qsizetype(length)));
    secret_value_unref(value);
    return token;
}

bool storeBytes(const QByteArray &bytes, const QString &account, const GatewaySecretStoreConfiguration &location)
{
    const ItemAttributes attributes(account, location);
    const QByteArray label = (u"Tessel gateway token "_s + account).toUtf8();
    SecretValue *value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    GError *error = nullptr;
    const gboolean stored = secret_password_storev_binary_sync(
        gatewayTokenSchema(), attributes.table(), SECRET_COLLECTION_DEFAULT, label.constData(), value, nullptr, &error);
    secret_value_unref(value);
    discard(error);
    return stored;
}

bool upsertToken(const QString &token, const QString &account, const GatewaySecretStoreConfiguration &location)
{
    return storeBytes(token.toUtf8(), account, location);
}

void removeToken(const QString &account, const GatewaySecretStoreConfiguration &location)
{
    const ItemAttributes attributes(account, location);
    GError *error = nullptr;
    secret_password_clearv_sync(gatewayTokenSchema(), attributes.table(), nullptr, &error);
    discard(error);
}

} // namespace tessel::SecretServiceBackend
