// The fixture's two reads of the etcd store itself, kept out of directory_fixture.h so that
// only this file and the tests that reach the store compile the gRPC headers.
#include "directory/etcd/etcd_store.h"
#include "directory_fixture.h"

namespace olva::test {

void CreateClusterDirectory(const std::string &location, const dir::TlsFiles &tls) {
  const std::optional<dir::ClusterLocation> parsed = dir::ParseClusterLocation(location);
  ASSERT_TRUE(parsed.has_value()) << location;
  std::string error;
  ASSERT_EQ(dir::EtcdStore::CreateDirectory(*parsed, tls, false, &error), TARNE_STATUS_SUCCESS)
      << location << ": " << error;
}

void ExpectOrdersAgree(const std::string &location, const dir::TlsFiles &tls) {
  const std::optional<dir::ClusterLocation> parsed = dir::ParseClusterLocation(location);
  ASSERT_TRUE(parsed.has_value()) << location;
  std::string error;
  const std::unique_ptr<dir::EtcdStore> store = dir::EtcdStore::Open(*parsed, tls, &error);
  ASSERT_NE(store, nullptr) << error;
  std::vector<std::string> problems;
  EXPECT_EQ(store->CheckOrders([&](const std::string &problem) { problems.push_back(problem); }),
            TARNE_STATUS_SUCCESS);
  EXPECT_EQ(problems, std::vector<std::string>{});
}

}  // namespace olva::test
