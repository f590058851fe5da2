-- Function calls: recursive Fibonacci through a local function (an upvalue,
-- which Lua reaches faster than a global; for comparison only).
local function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end
print(fib(30))
