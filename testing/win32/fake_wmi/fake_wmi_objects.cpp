#include "testing/win32/fake_wmi/fake_wmi_objects.h"

#include <oleauto.h>

#include <atomic>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/disk_inventory.h"
#include "sim/machine.h"
#include "sim/sim_disk_inventory.h"
#include "text/ascii_case.h"
#include "text/utf8.h"

namespace kestrune::fake_wmi {
namespace {

// Reference counting and QueryInterface for an object of one interface (plus IUnknown).
template <class Interface>
class Counted : public Interface {
 public:
  explicit Counted(const IID& iid) : iid_(iid) {}
  virtual ~Counted() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, iid_)) {
      *object = static_cast<Interface*>(this);
    } else if (!QueryOther(iid, object)) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual bool QueryOther(REFIID, void**) { return false; }

 private:
  const IID iid_;
  std::atomic<ULONG> references_{1};
};

// The machine folder of the test: KESTRUNE_MACHINE, a Windows path. Empty when unset.
std::filesystem::path MachineFolder() {
  const wchar_t* folder = _wgetenv(L"KESTRUNE_MACHINE");
  return folder != nullptr ? std::filesystem::path(folder) : std::filesystem::path();
}

// The class a "SELECT * FROM <class>" query names, in lower case.
std::string QueriedClass(const std::wstring& wql) {
  const std::string query = text::ToAsciiLower(text::Utf8FromWide(wql));
  const size_t from = query.rfind(" from ");
  if (from == std::string::npos) return {};
  std::string name = query.substr(from + 6);
  const size_t end = name.find_first_of(" \t\r\n");
  if (end != std::string::npos) name.resize(end);
  return name;
}

// --- Result objects ---

class ClassObject final : public Counted<IWbemClassObject> {
 public:
  explicit ClassObject(std::unique_ptr<platform::InventoryObject> row)
      : Counted(IID_IWbemClassObject), row_(std::move(row)) {}

  // A property reads as a string, or as null when the row holds no text for it (as WMI gives
  // a property without a value).
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type,
                                LONG* flavor) override {
    if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
    std::wstring text;
    const HRESULT hr = static_cast<HRESULT>(row_->Get(name, text));
    if (FAILED(hr)) return hr;
    if (type != nullptr) *type = CIM_STRING;
    if (flavor != nullptr) *flavor = WBEM_FLAVOR_ORIGIN_PROPAGATED;
    if (value == nullptr) return S_OK;
    VariantInit(value);
    if (text.empty()) {
      value->vt = VT_NULL;
      return S_OK;
    }
    value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (value->bstrVal == nullptr) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EndEnumeration() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                      IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                      IWbemClassObject*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**,
                                       IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }

 private:
  std::unique_ptr<platform::InventoryObject> row_;
};

// --- Query enumerator ---

// One query's answer as the simulated machine gives it: made on a thread of its own, so that
// a slow answer (faults.inventoryDelayMs) keeps Next waiting as WMI's would, within the
// caller's timeout. Shared by the enumerator and that thread, whichever ends last frees it.
struct Answer {
  Answer() : ready(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  windows::UniqueHandle ready;  // set once `rows` and `result` are final
  std::vector<std::unique_ptr<platform::InventoryObject>> rows;
  HRESULT result = S_OK;
};

class Enumerator final : public Counted<IEnumWbemClassObject> {
 public:
  Enumerator(std::filesystem::path folder, std::wstring wql)
      : Counted(IID_IEnumWbemClassObject), answer_(std::make_shared<Answer>()) {
    std::thread([answer = answer_, folder = std::move(folder), wql = std::move(wql)] {
      sim::Machine machine(folder);
      sim::SimDiskInventory inventory(machine);
      HRESULT result = static_cast<HRESULT>(inventory.Connect());
      if (SUCCEEDED(result)) result = static_cast<HRESULT>(inventory.ExecQuery(wql, answer->rows));
      answer->result = result;
      SetEvent(answer->ready.get());
    }).detach();
  }

  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                 ULONG* returned) override {
    if (objects == nullptr || returned == nullptr) return WBEM_E_INVALID_PARAMETER;
    *returned = 0;
    const DWORD wait = timeout < 0 ? INFINITE : static_cast<DWORD>(timeout);
    if (WaitForSingleObject(answer_->ready.get(), wait) != WAIT_OBJECT_0) return WBEM_S_TIMEDOUT;
    while (*returned < count && next_ < answer_->rows.size()) {
      objects[(*returned)++] = new ClassObject(std::move(answer_->rows[next_++]));
    }
    if (*returned == count) return WBEM_S_NO_ERROR;
    // The rows are out: the answer's end, normal or broken off.
    return SUCCEEDED(answer_->result) ? static_cast<HRESULT>(WBEM_S_FALSE) : answer_->result;
  }

  HRESULT STDMETHODCALLTYPE Reset() override { return WBEM_E_INVALID_OPERATION; }
  HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override {
    return WBEM_E_INVALID_OPERATION;
  }
  HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override { return E_NOTIMPL; }

 private:
  std::shared_ptr<Answer> answer_;
  size_t next_ = 0;
};

// --- Services ---

class Services final : public Counted<IWbemServices>, public IClientSecurity {
 public:
  explicit Services(std::filesystem::path folder)
      : Counted(IID_IWbemServices), folder_(std::move(folder)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return Counted::QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Counted::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Counted::Release(); }

  // A query of a class that faults.inventoryFailQueries names fails here, at the call; every
  // other one answers through its enumerator.
  HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG, IWbemContext*,
                                      IEnumWbemClassObject** result) override {
    if (result == nullptr) return WBEM_E_INVALID_PARAMETER;
    *result = nullptr;
    if (language == nullptr || _wcsicmp(language, L"WQL") != 0) return WBEM_E_INVALID_QUERY_TYPE;
    if (query == nullptr) return WBEM_E_INVALID_QUERY;
    const std::wstring wql(query, SysStringLen(query));
    const std::string className = QueriedClass(wql);
    if (className.empty()) return WBEM_E_INVALID_QUERY;
    sim::Machine machine(folder_);
    sim::MachineDescription description;
    if (!machine.Read(description)) return WBEM_E_FAILED;
    for (const auto& failing : description.faults.inventoryFailQueries) {
      if (text::ToAsciiLower(failing) == className) return WBEM_E_FAILED;
    }
    *result = new Enumerator(folder_, wql);
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                                          IWbemCallResult**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**,
                                      IWbemCallResult**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*,
                                           IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*,
                                     IWbemCallResult**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*,
                                          IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*,
                                        IWbemCallResult**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*,
                                            IEnumWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*,
                                                 IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, LONG, IWbemContext*,
                                        IWbemCallResult**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*,
                                           IWbemCallResult**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*,
                                                IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*,
                                               IEnumWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*,
                                                    IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                           IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                  IEnumWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG,
                                                       IWbemContext*,
                                                       IWbemObjectSink*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*,
                                       IWbemClassObject*, IWbemClassObject**,
                                       IWbemCallResult**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                            IWbemClassObject*, IWbemObjectSink*) override {
    return E_NOTIMPL;
  }

  // The proxy blanket: an in-process stand-in has no proxy, and takes any settings.
  HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*,
                                         void**, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD, void*,
                                       DWORD) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown*, IUnknown**) override { return E_NOTIMPL; }

 protected:
  bool QueryOther(REFIID iid, void** object) override {
    if (!IsEqualIID(iid, IID_IClientSecurity)) return false;
    *object = static_cast<IClientSecurity*>(this);
    return true;
  }

 private:
  std::filesystem::path folder_;
};

// --- Locator ---

class Locator final : public Counted<IWbemLocator> {
 public:
  Locator() : Counted(IID_IWbemLocator) {}

  // Only "root\cimv2" exists; the machine's faults.inventoryConnect answers the connection.
  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR, const BSTR, const BSTR,
                                          LONG, const BSTR, IWbemContext*,
                                          IWbemServices** services) override {
    if (services == nullptr) return WBEM_E_INVALID_PARAMETER;
    *services = nullptr;
    if (resource == nullptr || _wcsicmp(resource, L"root\\cimv2") != 0) {
      return WBEM_E_INVALID_NAMESPACE;
    }
    const std::filesystem::path folder = MachineFolder();
    if (folder.empty()) return WBEM_E_FAILED;
    sim::Machine machine(folder);
    sim::SimDiskInventory inventory(machine);
    const HRESULT hr = static_cast<HRESULT>(inventory.Connect());
    if (FAILED(hr)) return hr;
    *services = new Services(folder);
    return WBEM_S_NO_ERROR;
  }
};

}  // namespace

IWbemLocator* CreateLocator() { return new Locator(); }

}  // namespace kestrune::fake_wmi
