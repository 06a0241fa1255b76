// File Writer (CLSID_FileWriter): the end of the recording branch, one input
// of MEDIATYPE_Stream fed by the AVI multiplexer, and IFileSinkFilter.
//
// The multiplexer formats the file and writes it through its own writer
// thread (see avimux.cpp); this filter names the file.  SetFileName while
// the graph is stopped points the next run at another file; the
// multiplexer asks the connected writer for the name each time the graph
// starts (IMediaFileTarget on the input pin), so a name set while running
// takes effect at the next run, never in the middle of a file.
//
// A write past the process's file size limit (RLIMIT_FSIZE) fails, as it
// fails on the platform this models, so that the recording ends through
// the write error path: the first File Writer made sets SIGXFSZ, whose
// default action would end the process, to be ignored (unless the process
// has a handler of its own for it).
#include <signal.h>
#include <vfwmsgs.h>
#include <win32/utf8.h>

#include <cwchar>
#include <mutex>
#include <string>

#include "com/comclasstable.h"
#include "com/comobject.h"
#include "filetarget.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/filterregistry.h"
#include "media/mediatype.h"
#include "uuids.h"

namespace {

// Lets writes past the file size limit fail with EFBIG instead of ending
// the process.  A handler or an ignore the process set stays as it is.
void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            !(current.sa_flags & SA_SIGINFO))
            ::signal(SIGXFSZ, SIG_IGN);
    });
}

class FileWriter;

class WriterInput final : public BaseInputPin, public IMediaFileTarget {
public:
    explicit WriterInput(FileWriter* writer);
    MEDIA_PIN_IUNKNOWN
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
        if (!pmt) return E_POINTER;
        return pmt->majortype == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    std::string TargetPath() override;

protected:
    void* GetPinInterface(REFIID riid) override {
        if (riid == IID_IMediaFileTarget) return static_cast<IMediaFileTarget*>(this);
        return BaseInputPin::GetPinInterface(riid);
    }
    // The multiplexer writes the file itself; nothing travels this way.
    HRESULT OnReceive(IMediaSample*) override { return S_OK; }

private:
    FileWriter* m_writer;
};

class FileWriter final : public BaseFilter, public IFileSinkFilter {
public:
    FileWriter() : BaseFilter(CLSID_FileWriter), m_input(this) { IgnoreFileSizeSignal(); }
    MEDIA_FILTER_IUNKNOWN

    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_input : nullptr; }

    STDMETHODIMP SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE*) override {
        if (!pszFileName) return E_POINTER;
        if (!*pszFileName) return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_nameLock);
        m_name = pszFileName;
        return S_OK;
    }

    STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override {
        if (!ppszFileName) return E_POINTER;
        *ppszFileName = nullptr;
        std::lock_guard<std::mutex> lock(m_nameLock);
        if (m_name.empty()) return E_FAIL;
        const size_t bytes = (m_name.size() + 1) * sizeof(wchar_t);
        *ppszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (!*ppszFileName) return E_OUTOFMEMORY;
        std::wmemcpy(*ppszFileName, m_name.c_str(), m_name.size() + 1);
        if (pmt) *pmt = MakeMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_Avi);
        return S_OK;
    }

    std::string Path() {
        std::lock_guard<std::mutex> lock(m_nameLock);
        return win32_utf8::Utf8FromWide(m_name);
    }

protected:
    void* GetInterface(REFIID riid) override {
        return riid == IID_IFileSinkFilter ? static_cast<IFileSinkFilter*>(this) : nullptr;
    }

private:
    WriterInput m_input;
    std::mutex m_nameLock;
    std::wstring m_name;
};

WriterInput::WriterInput(FileWriter* writer) : BaseInputPin(writer, L"in"), m_writer(writer) {}
std::string WriterInput::TargetPath() { return m_writer->Path(); }

const ComClassRegistration registration(CLSID_FileWriter, ComCreateInstance<FileWriter>);
const MediaFilterRegistration table(
    {CLSID_FileWriter, L"File writer", MERIT_DO_NOT_USE, {{MEDIATYPE_Stream, GUID_NULL}}, false});

}  // namespace
