// Print jobs: StartDocA puts one on the printer's queue, StartPage and EndPage
// delimit its pages, EndDoc sends it to the printer, which prints it at once: the job
// leaves the queue and its pages are rendered.
#include "gdi/gdi_objects.h"
#include "gdi/page_rendering.h"
#include "spooler/spooler_internal.h"

#include <iostream>

namespace {

using winsim::detail::ContextKind;
using winsim::detail::DeviceContextObject;
using winsim::detail::fail;
using winsim::detail::state;

// The printer context a document call is about, or null with the call's error set.
std::shared_ptr<DeviceContextObject> printer_context(HDC hdc) {
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context || context->kind != ContextKind::printer) return fail(ERROR_INVALID_HANDLE, nullptr);  // (unconfirmed)
    return context;
}

void leave_queue(DeviceContextObject& context) {
    winsim::detail::MachineState& machine = state();
    auto queue = machine.spooler.jobs.find(context.printer);
    if (queue != machine.spooler.jobs.end())
        std::erase_if(queue->second, [&](const winsim::PrintJob& job) { return job.id == context.document->spooler_id; });
    winsim::detail::delete_printer_if_due(machine, context.printer);
}

}  // namespace

namespace winsim::detail {

void abandon_document(DeviceContextObject& context) {
    if (!context.document) return;
    leave_queue(context);
    context.document.reset();
}

PrintedPage* current_page(DeviceContextObject& context) {
    if (!context.document || !context.document->page_open) return nullptr;
    return &state().graphics.jobs()[context.document->job].pages.back();
}

}  // namespace winsim::detail

int WINAPI StartDocA(HDC hdc, const DOCINFOA* lpdi) {
    WINSIM_API("StartDocA", SP_ERROR);
    std::shared_ptr<DeviceContextObject> context = printer_context(hdc);
    if (!context) return SP_ERROR;
    if (!lpdi || context->document) return fail(ERROR_INVALID_PARAMETER, SP_ERROR);  // (unconfirmed)
    if (!winsim::detail::spooler_answers()) return SP_ERROR;
    winsim::detail::MachineState& machine = state();
    std::optional<std::string> printer = winsim::detail::find_printer(machine, context->printer);
    if (!printer) return fail(ERROR_INVALID_PRINTER_NAME, SP_ERROR);  // deleted since the context was made
    const std::string document = lpdi->lpszDocName ? lpdi->lpszDocName : "";
    const DWORD id = machine.spooler.next_job_id++;
    machine.spooler.jobs[*printer].push_back(winsim::PrintJob{id, document});

    winsim::PrintedJob job;
    job.id = id;
    job.printer = *printer;
    job.document = document;
    job.dpi_x = context->device.dpi_x;
    job.dpi_y = context->device.dpi_y;
    job.paper_width = context->device.paper_width;
    job.paper_height = context->device.paper_height;
    job.offset_x = context->device.offset_x;
    job.offset_y = context->device.offset_y;
    machine.graphics.jobs().push_back(std::move(job));
    context->document = winsim::detail::OpenDocument{machine.graphics.jobs().size() - 1, id, false};
    return static_cast<int>(id);
}

int WINAPI StartPage(HDC hdc) {
    WINSIM_API("StartPage", SP_ERROR);
    std::shared_ptr<DeviceContextObject> context = printer_context(hdc);
    if (!context) return SP_ERROR;
    if (!context->document) return fail(ERROR_INVALID_PARAMETER, SP_ERROR);  // (unconfirmed)
    // A page started over an open one ends that one first (unconfirmed).
    state().graphics.jobs()[context->document->job].pages.emplace_back();
    context->document->page_open = true;
    return 1;
}

int WINAPI EndPage(HDC hdc) {
    WINSIM_API("EndPage", SP_ERROR);
    std::shared_ptr<DeviceContextObject> context = printer_context(hdc);
    if (!context) return SP_ERROR;
    if (!context->document || !context->document->page_open) return fail(ERROR_INVALID_PARAMETER, SP_ERROR);  // (unconfirmed)
    context->document->page_open = false;
    return 1;
}

int WINAPI EndDoc(HDC hdc) {
    WINSIM_API("EndDoc", SP_ERROR);
    std::shared_ptr<DeviceContextObject> context = printer_context(hdc);
    if (!context) return SP_ERROR;
    if (!context->document) return fail(ERROR_INVALID_PARAMETER, SP_ERROR);  // (unconfirmed)
    winsim::detail::MachineState& machine = state();
    winsim::PrintedJob& job = machine.graphics.jobs()[context->document->job];
    job.ended = true;
    leave_queue(*context);
    context->document.reset();
    if (!machine.folder.empty() && !winsim::detail::render_job(job, machine.folder))
        std::cerr << "winsim: the pages of job " << job.id << " could not be written under " << machine.folder.string() << "\n";
    return 1;
}
