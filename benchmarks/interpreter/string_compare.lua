-- Short strings built and compared:
--   while (i < N) { t = s + "d"; if (t == "abcd") n++; if (t != s) n++; i++; }
local i, n, s, t = 0, 0, "abc", ""
while i < 5000000 do  -- N
  t = s .. "d"
  if t == "abcd" then n = n + 1 end
  if t ~= s then n = n + 1 end
  i = i + 1
end
print(n)
