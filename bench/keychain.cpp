// bench: tandry_shell
// The keychain behind the passwords: a cached passwordForUser makes no store
// call (the "store calls" counter stays 0); an uncached one opens the file
// only when another store wrote since; setPassword re-seals the whole file,
// so its time grows linearly with the items kept (10, 1,000, 10,000).
// Stores live beside the benchmark binary, on disk.

#include "Shell/VKKeychain.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Security/FileKeychainStore.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// A store that counts the calls it passes on.
class CountingStore : public sec::KeychainStore {
public:
    explicit CountingStore(std::string folder) : m_store(std::move(folder)) { }
    Status add(const sec::KeychainItem& item, sec::KeychainItem* stored) override { return ++calls, m_store.add(item, stored); }
    Status update(const sec::KeychainQuery& query, const sec::KeychainChanges& changes) override
    {
        return ++calls, m_store.update(query, changes);
    }
    Status remove(const sec::KeychainQuery& query) override { return ++calls, m_store.remove(query); }
    Status copyMatching(const sec::KeychainQuery& query, std::vector<sec::KeychainItem>& results) override
    {
        return ++calls, m_store.copyMatching(query, results);
    }
    int64_t calls = 0;

private:
    sec::FileKeychainStore m_store;
};

std::string scratch(const std::string& name)
{
    static std::string folder = [] {
        auto path = std::filesystem::read_symlink("/proc/self/exe").parent_path() / ("keychain-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return folder + "/" + name;
}

// A keychain folder holding `count` generic passwords, written in the
// store's format in one go (adding them one by one would re-seal the file
// `count` times).
std::string filledStore(int count)
{
    const std::string folder = scratch("items-" + std::to_string(count));
    if (std::filesystem::exists(folder))
        return folder;
    std::filesystem::create_directories(folder);
    sec::KeychainItemList items;
    for (int i = 0; i < count; ++i) {
        sec::KeychainItem item;
        const std::string name = "service-" + std::to_string(i);
        item.attributes = core::Value::makeDictionary({ { sec::KeychainAttribute::Account, core::Value(name) },
            { sec::KeychainAttribute::Service, core::Value(name) } });
        item.data = core::Data(std::string("password-") + std::to_string(i));
        items.add(item);
    }
    std::string plain = *core::PropertyList::write(items.propertyList(), core::PropertyList::Format::Binary);
    unsigned char key[sec::FileKeychainStore::KeyLength];
    unsigned char nonce[sec::FileKeychainStore::NonceLength];
    RAND_bytes(key, sizeof key);
    RAND_bytes(nonce, sizeof nonce);
    std::string sealed = "TKC1" + std::string(reinterpret_cast<char*>(nonce), sizeof nonce);
    sealed.resize(sealed.size() + plain.size() + sec::FileKeychainStore::TagLength);
    auto* text = reinterpret_cast<unsigned char*>(sealed.data()) + 4 + sizeof nonce;
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int length = 0;
    EVP_EncryptInit_ex(context, EVP_aes_256_gcm(), nullptr, key, nonce);
    EVP_EncryptUpdate(context, nullptr, &length, reinterpret_cast<const unsigned char*>("TKC1"), 4);
    EVP_EncryptUpdate(context, text, &length, reinterpret_cast<const unsigned char*>(plain.data()), int(plain.size()));
    EVP_EncryptFinal_ex(context, text + length, &length);
    EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, int(sec::FileKeychainStore::TagLength), text + plain.size());
    EVP_CIPHER_CTX_free(context);
    core::fs::writeFileAtomically(folder + "/" + sec::FileKeychainStore::KeyFileName,
        std::string_view(reinterpret_cast<char*>(key), sizeof key), nullptr, 0600);
    core::fs::writeFileAtomically(folder + "/" + sec::FileKeychainStore::FileName, sealed, nullptr, 0600);
    return folder;
}

void CachedPasswordForUser(benchmark::State& state)
{
    auto store = std::make_shared<CountingStore>(filledStore(int(state.range(0))));
    auto keychain = VKKeychain::create(store, scratch("webdav.p12"));
    if (keychain->passwordForUser("service-1", "service-1") != "password-1")
        bench::wrongAnswer("the filled store did not read back");
    store->calls = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(keychain->passwordForUser("service-1", "service-1"));
    state.counters["store calls"] = double(store->calls);
}
BENCHMARK(CachedPasswordForUser)->Arg(10)->Arg(1000)->Arg(10000);

// A fresh keychain per read over a store that already holds the file: the
// search itself (a nonce check, then a linear match).
void UncachedPasswordForUser(benchmark::State& state)
{
    auto store = std::make_shared<CountingStore>(filledStore(int(state.range(0))));
    const std::string last = "service-" + std::to_string(state.range(0) - 1);
    for (auto _ : state) {
        auto keychain = VKKeychain::create(store, scratch("webdav.p12"));
        benchmark::DoNotOptimize(keychain->passwordForUser(last, last));
    }
    state.counters["store calls"] = benchmark::Counter(double(store->calls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(UncachedPasswordForUser)->Arg(10)->Arg(1000)->Arg(10000);

// Each write re-reads nothing (the store knows its file) but re-seals and
// rewrites every item.
void SetPassword(benchmark::State& state)
{
    auto store = std::make_shared<CountingStore>(filledStore(int(state.range(0))));
    auto keychain = VKKeychain::create(store, scratch("webdav.p12"));
    int round = 0;
    for (auto _ : state)
        keychain->setPassword("changed-" + std::to_string(++round), "service-0", "service-0");
    state.SetComplexityN(state.range(0));
}
BENCHMARK(SetPassword)->Arg(10)->Arg(1000)->Arg(10000)->Complexity(benchmark::oN);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    bench::atMost("store calls of a cached password", bench::runCounter("CachedPasswordForUser/10000", "store calls"), 0);
    bench::figure("setPassword, 10,000 / 1,000 items", bench::runSeconds("SetPassword/10000") / bench::runSeconds("SetPassword/1000"),
        "x", "linear in the items");
});

} // namespace
