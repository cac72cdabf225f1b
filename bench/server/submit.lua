-- wrk script: every request submits a replay of its own (one game under another date) with the
-- name's token, and the answers are counted by status.
-- wrk -s submit.lua URL -- REPLAY_FILE TOKEN
local threads = {}
local next_id = 1

function setup(thread)
  thread:set("id", next_id)
  next_id = next_id + 1
  table.insert(threads, thread)
end

function init(args)
  local f = assert(io.open(args[1], "rb"))
  records = f:read("a"):sub(17)  -- everything after the date
  f:close()
  headers = { ["Authorization"] = "Bearer " .. args[2], ["Content-Type"] = "application/octet-stream" }
  counter = 0
  statuses = {}
end

function request()
  counter = counter + 1
  -- Twelve digits where the header's date has them: "YYYY/MM/DD hh:mm".
  local d = string.format("%012d", id * 10000000000 + counter)
  local date = d:sub(1, 4) .. "/" .. d:sub(5, 6) .. "/" .. d:sub(7, 8) .. " " .. d:sub(9, 10) .. ":" .. d:sub(11, 12)
  return wrk.format("POST", "/api/v1/submissions?name=Bench", headers, date .. records)
end

function response(status)
  statuses[status] = (statuses[status] or 0) + 1
end

function done(summary, latency, requests)
  local total = {}
  for _, t in ipairs(threads) do
    for _, status in ipairs({ 200, 202, 400, 401, 403, 413, 422, 429, 500, 503 }) do
      local n = t:get("statuses")[status]
      if n then total[status] = (total[status] or 0) + n end
    end
  end
  for status, n in pairs(total) do io.write(string.format("status %d: %d\n", status, n)) end
end
