-- Personnel: appraisals, expenses, recruitment, timesheets and absence (2012-2019).

-- @object User Defined Datatype | HoursAmount | 2015-10-05 07:58:20
CREATE TYPE dbo.HoursAmount FROM decimal(5, 2) NOT NULL;

-- @object User Defined Datatype | CostCentre | 2012-09-03 09:20:02
CREATE TYPE dbo.CostCentre FROM char(4) NOT NULL;

-- @object User Defined Datatype | EmployeeIdList | 2016-03-31 16:40:33
CREATE TYPE dbo.EmployeeIdList AS TABLE (
    EmployeeId int NOT NULL PRIMARY KEY
);

-- @object Default | df_Submitted | 2012-09-03 09:20:40
CREATE DEFAULT dbo.df_Submitted AS 'SUBMITTED';

-- @object Default | df_NoHours | 2015-10-05 07:58:44
CREATE DEFAULT dbo.df_NoHours AS 0.0;

-- @object Rule | rl_CostCentre | 2012-09-03 09:21:15
CREATE RULE dbo.rl_CostCentre AS @value LIKE '[A-Z][0-9][0-9][0-9]';

-- @object Rule | rl_AppraisalScore | 2013-02-18 09:58:09
CREATE RULE dbo.rl_AppraisalScore AS @value IS NULL OR @value BETWEEN 1 AND 5;

-- @object User Table | Appraisal | 2013-02-18 10:00:38
CREATE TABLE dbo.Appraisal (
    AppraisalId  int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Appraisal PRIMARY KEY,
    EmployeeId   int          NOT NULL CONSTRAINT FK_Appraisal_Employee REFERENCES dbo.Employee (EmployeeId),
    ReviewerId   int          NOT NULL CONSTRAINT FK_Appraisal_Reviewer REFERENCES dbo.Employee (EmployeeId),
    DueOn        date         NOT NULL,
    Score        tinyint      NULL CONSTRAINT CK_Appraisal_Score CHECK (Score BETWEEN 1 AND 5),
    Stage        char(1)      NOT NULL CONSTRAINT DF_Appraisal_Stage DEFAULT ('D')
                     CONSTRAINT CK_Appraisal_Stage CHECK (Stage IN ('D', 'M', 'S', 'X')),
    UpdatedAt    datetime2(0) NULL
);

-- @object Stored Procedure | usp_ScheduleAppraisal | 2013-02-18 10:24:09
CREATE PROCEDURE dbo.usp_ScheduleAppraisal
    @EmployeeId int,
    @ReviewerId int,
    @DueOn      date,
    @Score      tinyint,
    @AppraisalId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Employee WHERE EmployeeId = @EmployeeId)
    BEGIN
        RAISERROR(N'Employee %d does not exist.', 16, 1, @EmployeeId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.Appraisal (EmployeeId, ReviewerId, DueOn, Score)
            VALUES (@EmployeeId, @ReviewerId, @DueOn, @Score);
            SET @AppraisalId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_HoldAppraisalMeeting | 2013-02-18 10:33:06
CREATE PROCEDURE dbo.usp_HoldAppraisalMeeting
    @AppraisalId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Appraisal
           SET Stage = 'M', UpdatedAt = SYSUTCDATETIME()
         WHERE AppraisalId = @AppraisalId AND Stage IN ('D');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Appraisal %d is not D; it cannot move to M.', 16, 1, @AppraisalId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_SignOffAppraisal | 2015-12-15 10:43:09
CREATE PROCEDURE dbo.usp_SignOffAppraisal
    @AppraisalId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Appraisal
           SET Stage = 'S', UpdatedAt = SYSUTCDATETIME()
         WHERE AppraisalId = @AppraisalId AND Stage IN ('M');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Appraisal %d is not M; it cannot move to S.', 16, 1, @AppraisalId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_WithdrawAppraisal | 2015-01-29 14:05:14
CREATE PROCEDURE dbo.usp_WithdrawAppraisal
    @AppraisalId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Appraisal
           SET Stage = 'X', UpdatedAt = SYSUTCDATETIME()
         WHERE AppraisalId = @AppraisalId AND Stage IN ('D', 'M');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Appraisal %d is not D or M; it cannot move to X.', 16, 1, @AppraisalId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_AppraisalsDue | 2014-12-01 15:25:54
CREATE VIEW dbo.vw_AppraisalsDue
AS
SELECT a.AppraisalId,
       e.FamilyName AS EmployeeFamilyName,
       a.EmployeeId,
       a.ReviewerId,
       a.DueOn,
       a.Score,
       a.Stage
  FROM dbo.Appraisal AS a
  JOIN dbo.Employee AS e ON e.EmployeeId = a.EmployeeId
 WHERE a.Stage IN ('D', 'M');

-- @object View | vw_AppraisalScores | 2014-11-28 16:53:58
CREATE VIEW dbo.vw_AppraisalScores
WITH SCHEMABINDING
AS
SELECT e.EmployeeId, e.FamilyName,
       COUNT_BIG(*) AS Appraisals,
       SUM(ISNULL(a.Score, 0)) AS TotalScore,
       MIN(a.DueOn) AS FirstDueOn, MAX(a.DueOn) AS LastDueOn
  FROM dbo.Appraisal AS a
  JOIN dbo.Employee AS e ON e.EmployeeId = a.EmployeeId
 GROUP BY e.EmployeeId, e.FamilyName;

-- @object Trigger | tr_Appraisal_Touch | 2013-02-18 12:27:10
CREATE TRIGGER dbo.tr_Appraisal_Touch ON dbo.Appraisal
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF UPDATE(UpdatedAt) RETURN; -- our own update, or the caller set it
    UPDATE t SET UpdatedAt = SYSUTCDATETIME()
      FROM dbo.Appraisal AS t
      JOIN inserted AS i ON i.AppraisalId = t.AppraisalId;
END;

-- @object Stored Procedure | usp_AppraisalReport | 2016-04-08 15:52:34
CREATE PROCEDURE dbo.usp_AppraisalReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT e.FamilyName,
           COUNT(*) AS Appraisals,
           SUM(a.Score) AS TotalScore,
           MAX(a.Score) AS LargestScore,
           SUM(CASE WHEN a.Stage = 'X' THEN 1 ELSE 0 END) AS X
      FROM dbo.Appraisal AS a
      JOIN dbo.Employee AS e ON e.EmployeeId = a.EmployeeId
     WHERE a.DueOn >= @From AND a.DueOn < DATEADD(day, 1, @To)
     GROUP BY e.FamilyName
     ORDER BY TotalScore DESC;
END;

-- @object User Defined Function | fn_AverageScore | 2013-02-18 13:24:58
CREATE FUNCTION dbo.fn_AverageScore (@EmployeeId int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Score), 0) FROM dbo.Appraisal WHERE EmployeeId = @EmployeeId AND Stage <> 'X');
END;

-- @object User Table | AppraisalObjective | 2013-02-18 10:04:04
CREATE TABLE dbo.AppraisalObjective (
    ObjectiveId  int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_AppraisalObjective PRIMARY KEY,
    AppraisalId  int           NOT NULL CONSTRAINT FK_AppraisalObjective_Appraisal REFERENCES dbo.Appraisal (AppraisalId) ON DELETE CASCADE,
    Objective    nvarchar(300) NOT NULL,
    Weight       tinyint       NOT NULL CONSTRAINT CK_AppraisalObjective_Weight CHECK (Weight BETWEEN 1 AND 100),
    Achieved     bit           NULL
);

-- @object Stored Procedure | usp_AddObjective | 2013-02-18 10:08:27
CREATE PROCEDURE dbo.usp_AddObjective
    @AppraisalId int,
    @Objective   nvarchar(300),
    @Weight      tinyint,
    @Achieved    bit,
    @ObjectiveId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Appraisal WHERE AppraisalId = @AppraisalId)
    BEGIN
        RAISERROR(N'Appraisal %d does not exist.', 16, 1, @AppraisalId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.AppraisalObjective (AppraisalId, Objective, Weight, Achieved)
            VALUES (@AppraisalId, @Objective, @Weight, @Achieved);
            SET @ObjectiveId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object User Defined Function | fn_ObjectivesFor | 2013-02-18 10:21:49
CREATE FUNCTION dbo.fn_ObjectivesFor (@AppraisalId int)
RETURNS TABLE
AS
RETURN
    SELECT ao.ObjectiveId, ao.AppraisalId, ao.Objective, ao.Weight, ao.Achieved
      FROM dbo.AppraisalObjective AS ao
     WHERE ao.AppraisalId = @AppraisalId;

-- @object User Defined Function | fn_ObjectiveWeight | 2016-01-04 11:40:17
CREATE FUNCTION dbo.fn_ObjectiveWeight (@AppraisalId int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Weight), 0) FROM dbo.AppraisalObjective WHERE AppraisalId = @AppraisalId);
END;

-- @object User Table | ExpenseClaim | 2012-09-03 09:30:00
CREATE TABLE dbo.ExpenseClaim (
    ClaimId     int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_ExpenseClaim PRIMARY KEY,
    EmployeeId  int           NOT NULL CONSTRAINT FK_ExpenseClaim_Employee REFERENCES dbo.Employee (EmployeeId),
    SubmittedOn date          NOT NULL,
    Total       dbo.PayAmount CONSTRAINT DF_ExpenseClaim_Total DEFAULT (0),
    Status      varchar(9)    NOT NULL CONSTRAINT DF_ExpenseClaim_Status DEFAULT ('SUBMITTED')
                    CONSTRAINT CK_ExpenseClaim_Status CHECK (Status IN ('SUBMITTED', 'APPROVED', 'PAID', 'REJECTED')),
    PeriodId    int           NULL CONSTRAINT FK_ExpenseClaim_Period REFERENCES dbo.PayPeriod (PeriodId)
);

-- @object Stored Procedure | usp_SubmitExpenses | 2012-09-03 09:48:42
CREATE PROCEDURE dbo.usp_SubmitExpenses
    @EmployeeId  int,
    @SubmittedOn date,
    @PeriodId    int,
    @ClaimId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Employee WHERE EmployeeId = @EmployeeId)
    BEGIN
        RAISERROR(N'Employee %d does not exist.', 16, 1, @EmployeeId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.ExpenseClaim (EmployeeId, SubmittedOn, PeriodId)
        VALUES (@EmployeeId, @SubmittedOn, @PeriodId);
        SET @ClaimId = SCOPE_IDENTITY();
        INSERT INTO dbo.ExpenseClaimHistory (ClaimId, Note)
        VALUES (@ClaimId, N'Created');
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_ApproveExpenses | 2012-09-03 09:54:08
CREATE PROCEDURE dbo.usp_ApproveExpenses
    @ClaimId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.ExpenseClaim
           SET Status = 'APPROVED'
         WHERE ClaimId = @ClaimId AND Status IN ('SUBMITTED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Expense claim %d is not SUBMITTED; it cannot move to APPROVED.', 16, 1, @ClaimId);
            RETURN 1;
        END;
        INSERT INTO dbo.ExpenseClaimHistory (ClaimId, Note)
        VALUES (@ClaimId, N'Approved');
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_PayExpenses | 2012-09-03 10:11:27
CREATE PROCEDURE dbo.usp_PayExpenses
    @ClaimId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.ExpenseClaim
           SET Status = 'PAID'
         WHERE ClaimId = @ClaimId AND Status IN ('APPROVED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Expense claim %d is not APPROVED; it cannot move to PAID.', 16, 1, @ClaimId);
            RETURN 1;
        END;
        INSERT INTO dbo.ExpenseClaimHistory (ClaimId, Note)
        VALUES (@ClaimId, ISNULL(@Note, N'Paid'));
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_RejectExpenses | 2012-09-03 10:36:45
CREATE PROCEDURE dbo.usp_RejectExpenses
    @ClaimId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.ExpenseClaim
           SET Status = 'REJECTED'
         WHERE ClaimId = @ClaimId AND Status IN ('SUBMITTED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Expense claim %d is not SUBMITTED; it cannot move to REJECTED.', 16, 1, @ClaimId);
            RETURN 1;
        END;
        INSERT INTO dbo.ExpenseClaimHistory (ClaimId, Note)
        VALUES (@ClaimId, N'Rejected');
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_ExpensesAwaitingApproval | 2012-09-03 11:03:15
CREATE VIEW dbo.vw_ExpensesAwaitingApproval
AS
SELECT ec.ClaimId,
       e.FamilyName AS EmployeeFamilyName,
       ec.EmployeeId,
       ec.SubmittedOn,
       ec.Total,
       ec.Status,
       ec.PeriodId
  FROM dbo.ExpenseClaim AS ec
  JOIN dbo.Employee AS e ON e.EmployeeId = ec.EmployeeId
 WHERE ec.Status IN ('SUBMITTED', 'APPROVED');

-- @object View | vw_ExpensesByEmployee | 2012-09-03 11:32:15
CREATE VIEW dbo.vw_ExpensesByEmployee
WITH SCHEMABINDING
AS
SELECT e.EmployeeId, e.FamilyName,
       COUNT_BIG(*) AS ExpenseClaims,
       SUM(ISNULL(ec.Total, 0)) AS Total,
       MIN(ec.SubmittedOn) AS FirstSubmittedOn, MAX(ec.SubmittedOn) AS LastSubmittedOn
  FROM dbo.ExpenseClaim AS ec
  JOIN dbo.Employee AS e ON e.EmployeeId = ec.EmployeeId
 GROUP BY e.EmployeeId, e.FamilyName;

-- @object View | vw_ExpensesByMonth | 2012-09-03 11:50:17
CREATE VIEW dbo.vw_ExpensesByMonth
AS
SELECT YEAR(ec.SubmittedOn) AS [Year], MONTH(ec.SubmittedOn) AS [Month],
       COUNT(*) AS ExpenseClaims,
       SUM(ec.Total) AS Total,
       AVG(ec.Total) AS AverageTotal
  FROM dbo.ExpenseClaim AS ec
 WHERE ec.Status <> 'REJECTED'
 GROUP BY YEAR(ec.SubmittedOn), MONTH(ec.SubmittedOn);

-- @object Trigger | tr_ExpenseClaim_History | 2012-09-03 12:11:24
CREATE TRIGGER dbo.tr_ExpenseClaim_History ON dbo.ExpenseClaim
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF NOT UPDATE(Status) RETURN;
    INSERT INTO dbo.ExpenseClaimHistory (ClaimId, Note)
    SELECT i.ClaimId, CONCAT(d.Status, N' -> ', i.Status)
      FROM inserted AS i
      JOIN deleted AS d ON d.ClaimId = i.ClaimId
     WHERE d.Status <> i.Status;
END;

-- @object Stored Procedure | usp_FindExpenseClaims | 2014-12-12 13:36:20
CREATE PROCEDURE dbo.usp_FindExpenseClaims
    @EmployeeId int = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Status varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    -- built for the help desk screen; keep the filters optional
    SELECT ec.ClaimId, ec.EmployeeId, ec.SubmittedOn, ec.Total, ec.Status, e.FamilyName
      FROM dbo.ExpenseClaim AS ec
      JOIN dbo.Employee AS e ON e.EmployeeId = ec.EmployeeId
     WHERE (@EmployeeId IS NULL OR ec.EmployeeId = @EmployeeId)
       AND (@From IS NULL OR ec.SubmittedOn >= @From)
       AND (@To IS NULL OR ec.SubmittedOn < DATEADD(day, 1, @To))
       AND (@Status IS NULL OR ec.Status = @Status)
     ORDER BY ec.SubmittedOn DESC;
END;

-- @object Stored Procedure | usp_ExpensesReport | 2014-06-14 15:09:23
CREATE PROCEDURE dbo.usp_ExpensesReport
    @From date,
    @To   date,
    @AtLeast int = 1
AS
BEGIN
    SET NOCOUNT ON;
    SELECT e.FamilyName,
           COUNT(*) AS ExpenseClaims,
           SUM(ec.Total) AS Total,
           MAX(ec.Total) AS LargestTotal,
           SUM(CASE WHEN ec.Status = 'REJECTED' THEN 1 ELSE 0 END) AS Rejected
      FROM dbo.ExpenseClaim AS ec
      JOIN dbo.Employee AS e ON e.EmployeeId = ec.EmployeeId
     WHERE ec.SubmittedOn >= @From AND ec.SubmittedOn < DATEADD(day, 1, @To)
     GROUP BY e.FamilyName
     HAVING COUNT(*) >= @AtLeast
     ORDER BY Total DESC;
END;

-- @object Trigger | tr_ExpenseClaim_NoDelete | 2016-07-02 18:36:38
CREATE TRIGGER dbo.tr_ExpenseClaim_NoDelete ON dbo.ExpenseClaim
INSTEAD OF DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM deleted WHERE Status <> 'SUBMITTED')
    BEGIN
        RAISERROR(N'Only expense claim rows still at SUBMITTED can be deleted; the others are kept for the record.', 16, 1);
        RETURN;
    END;
    DELETE t FROM dbo.ExpenseClaim AS t JOIN deleted AS d ON d.ClaimId = t.ClaimId;
END;

-- @object User Table | ExpenseClaimHistory | 2012-09-03 09:31:28
CREATE TABLE dbo.ExpenseClaimHistory (
    HistoryId  bigint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_ExpenseClaimHistory PRIMARY KEY,
    ClaimId    int           NOT NULL CONSTRAINT FK_ExpenseClaimHistory_Claim REFERENCES dbo.ExpenseClaim (ClaimId),
    Note       nvarchar(200) NOT NULL,
    ChangedAt  datetime2(0)  NOT NULL CONSTRAINT DF_ExpenseClaimHistory_ChangedAt DEFAULT (SYSUTCDATETIME()),
    ChangedBy  sysname       NOT NULL CONSTRAINT DF_ExpenseClaimHistory_ChangedBy DEFAULT (ORIGINAL_LOGIN())
);

-- @object User Defined Function | fn_ExpenseClaimTrail | 2012-09-03 09:44:38
CREATE FUNCTION dbo.fn_ExpenseClaimTrail (@ClaimId int)
RETURNS TABLE
AS
RETURN
    SELECT ech.HistoryId, ech.ClaimId, ech.Note, ech.ChangedAt, ech.ChangedBy
      FROM dbo.ExpenseClaimHistory AS ech
     WHERE ech.ClaimId = @ClaimId;

-- @object Stored Procedure | usp_PurgeExpenseHistory | 2015-04-16 13:17:33
CREATE PROCEDURE dbo.usp_PurgeExpenseHistory
    @KeepMonths int = 24,
    @BatchSize  int = 5000
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Cutoff date = DATEADD(month, -@KeepMonths, CONVERT(date, GETDATE()));
    DECLARE @Deleted int = 1, @Total int = 0;
    WHILE @Deleted > 0
    BEGIN
        BEGIN TRANSACTION;
            DELETE TOP (@BatchSize) FROM dbo.ExpenseClaimHistory
             WHERE ChangedAt < @Cutoff;
            SET @Deleted = @@ROWCOUNT;
        COMMIT TRANSACTION;
        SET @Total += @Deleted;
        WAITFOR DELAY '00:00:01'; -- let the log writer keep up
    END;
    PRINT CONCAT(@Total, N' expense claim history rows removed.');
END;

-- @object User Table | ExpenseLine | 2012-09-03 09:33:42
CREATE TABLE dbo.ExpenseLine (
    LineId      int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_ExpenseLine PRIMARY KEY,
    ClaimId     int           NOT NULL CONSTRAINT FK_ExpenseLine_Claim REFERENCES dbo.ExpenseClaim (ClaimId) ON DELETE CASCADE,
    SpentOn     date          NOT NULL,
    Category    varchar(10)   NOT NULL CONSTRAINT CK_ExpenseLine_Category CHECK (Category IN ('TRAVEL', 'HOTEL', 'MEALS', 'MILEAGE', 'OTHER')),
    Amount      dbo.PayAmount,
    HasReceipt  bit           NOT NULL
);

-- @object Stored Procedure | usp_AddExpenseLine | 2012-09-03 10:00:01
CREATE PROCEDURE dbo.usp_AddExpenseLine
    @ClaimId    int,
    @SpentOn    date,
    @Category   varchar(10),
    @Amount     dbo.PayAmount,
    @HasReceipt bit,
    @LineId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.ExpenseClaim WHERE ClaimId = @ClaimId)
    BEGIN
        RAISERROR(N'Expense claim %d does not exist.', 16, 1, @ClaimId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.ExpenseLine (ClaimId, SpentOn, Category, Amount, HasReceipt)
            VALUES (@ClaimId, @SpentOn, @Category, @Amount, @HasReceipt);
            SET @LineId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Trigger | tr_ExpenseLine_Total | 2012-09-03 10:29:27
CREATE TRIGGER dbo.tr_ExpenseLine_Total ON dbo.ExpenseLine
AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    -- keep the expense claim total in step with its lines
    UPDATE p SET Total = ISNULL((SELECT SUM(x.Amount) FROM dbo.ExpenseLine AS x WHERE x.ClaimId = p.ClaimId), 0)
      FROM dbo.ExpenseClaim AS p
     WHERE p.ClaimId IN (SELECT ClaimId FROM inserted UNION SELECT ClaimId FROM deleted);
END;

-- @object User Defined Function | fn_ExpenseLines | 2013-05-11 12:01:39
CREATE FUNCTION dbo.fn_ExpenseLines (@ClaimId int)
RETURNS TABLE
AS
RETURN
    SELECT el.LineId, el.ClaimId, el.SpentOn, el.Category, el.Amount
      FROM dbo.ExpenseLine AS el
     WHERE el.ClaimId = @ClaimId;

-- @object User Defined Function | fn_WeeklyExpenses | 2013-11-11 16:08:47
CREATE FUNCTION dbo.fn_WeeklyExpenses (@From date, @To date)
RETURNS @Result TABLE (
    Week      date NOT NULL PRIMARY KEY,
    ExpenseLines int  NOT NULL,
    Total     dbo.PayAmount NULL
)
AS
BEGIN
    DECLARE @Week date = DATEADD(day, 1 - DATEPART(weekday, @From), @From);
    WHILE @Week <= @To
    BEGIN
        INSERT INTO @Result (Week, ExpenseLines, Total)
        SELECT @Week, COUNT(*), SUM(el.Amount)
          FROM dbo.ExpenseLine AS el
         WHERE el.SpentOn >= @Week AND el.SpentOn < DATEADD(day, 7, @Week);
        SET @Week = DATEADD(day, 7, @Week);
    END;
    RETURN;
END;

-- @object User Table | Vacancy | 2014-05-12 11:00:36
CREATE TABLE dbo.Vacancy (
    VacancyId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Vacancy PRIMARY KEY,
    DepartmentId smallint      NOT NULL CONSTRAINT FK_Vacancy_Department REFERENCES dbo.Department (DepartmentId),
    Title        nvarchar(100) NOT NULL,
    Grade        char(2)       NOT NULL CONSTRAINT FK_Vacancy_Grade REFERENCES dbo.JobGrade (Grade),
    OpenedOn     date          NOT NULL,
    ClosesOn     date          NULL,
    Status       char(6)       NOT NULL CONSTRAINT DF_Vacancy_Status DEFAULT ('OPEN')
                     CONSTRAINT CK_Vacancy_Status CHECK (Status IN ('OPEN', 'FILLED', 'CLOSED'))
);

-- @object Stored Procedure | usp_OpenVacancy | 2014-05-12 11:26:45
CREATE PROCEDURE dbo.usp_OpenVacancy
    @DepartmentId smallint,
    @Title        nvarchar(100),
    @Grade        char(2),
    @OpenedOn     date,
    @ClosesOn     date,
    @VacancyId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Department WHERE DepartmentId = @DepartmentId)
    BEGIN
        RAISERROR(N'Department %d does not exist.', 16, 1, @DepartmentId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.Vacancy (DepartmentId, Title, Grade, OpenedOn, ClosesOn)
            VALUES (@DepartmentId, @Title, @Grade, @OpenedOn, @ClosesOn);
            SET @VacancyId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_FillVacancy | 2014-05-12 11:30:01
CREATE PROCEDURE dbo.usp_FillVacancy
    @VacancyId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Vacancy
           SET Status = 'FILLED'
         WHERE VacancyId = @VacancyId AND Status IN ('OPEN');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Vacancy %d is not OPEN; it cannot move to FILLED.', 16, 1, @VacancyId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CloseVacancy | 2014-05-12 11:45:20
CREATE PROCEDURE dbo.usp_CloseVacancy
    @VacancyId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Vacancy
           SET Status = 'CLOSED'
         WHERE VacancyId = @VacancyId AND Status IN ('OPEN');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Vacancy %d is not OPEN; it cannot move to CLOSED.', 16, 1, @VacancyId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_OpenVacancies | 2014-05-12 11:55:08
CREATE VIEW dbo.vw_OpenVacancies
AS
SELECT v.VacancyId,
       d.Name AS DepartmentName,
       v.DepartmentId,
       v.Title,
       v.Grade,
       v.OpenedOn,
       v.ClosesOn
  FROM dbo.Vacancy AS v
  JOIN dbo.Department AS d ON d.DepartmentId = v.DepartmentId
 WHERE v.Status IN ('OPEN', 'FILLED');

-- @object Stored Procedure | usp_FindVacancies | 2014-05-12 12:03:56
CREATE PROCEDURE dbo.usp_FindVacancies
    @DepartmentId smallint = NULL,
    @TitleLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Status varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT v.VacancyId, v.DepartmentId, v.Title, v.Grade, v.OpenedOn, d.Name
      FROM dbo.Vacancy AS v
      JOIN dbo.Department AS d ON d.DepartmentId = v.DepartmentId
     WHERE (@DepartmentId IS NULL OR v.DepartmentId = @DepartmentId)
       AND (@TitleLike IS NULL OR v.Title LIKE @TitleLike + N'%')
       AND (@From IS NULL OR v.OpenedOn >= @From)
       AND (@To IS NULL OR v.OpenedOn < DATEADD(day, 1, @To))
       AND (@Status IS NULL OR v.Status = @Status)
     ORDER BY v.OpenedOn DESC;
END;

-- @object User Defined Function | fn_OpenVacancyCount | 2014-05-12 12:09:36
CREATE FUNCTION dbo.fn_OpenVacancyCount (@DepartmentId smallint)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT COUNT(*) FROM dbo.Vacancy WHERE DepartmentId = @DepartmentId AND Status <> 'CLOSED');
END;

-- @object User Table | Applicant | 2014-05-12 11:05:08
CREATE TABLE dbo.Applicant (
    ApplicantId  int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Applicant PRIMARY KEY,
    VacancyId    int           NOT NULL CONSTRAINT FK_Applicant_Vacancy REFERENCES dbo.Vacancy (VacancyId),
    FullName     nvarchar(100) NOT NULL,
    Email        nvarchar(254) NOT NULL,
    AppliedOn    date          NOT NULL,
    Stage        varchar(9)    NOT NULL CONSTRAINT DF_Applicant_Stage DEFAULT ('APPLIED')
                     CONSTRAINT CK_Applicant_Stage CHECK (Stage IN ('APPLIED', 'SHORTLIST', 'INTERVIEW', 'OFFERED', 'DECLINED'))
);

-- @object Stored Procedure | usp_RecordApplication | 2014-05-12 11:14:39
CREATE PROCEDURE dbo.usp_RecordApplication
    @VacancyId int,
    @FullName  nvarchar(100),
    @Email     nvarchar(254),
    @AppliedOn date,
    @ApplicantId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Vacancy WHERE VacancyId = @VacancyId)
    BEGIN
        RAISERROR(N'Vacancy %d does not exist.', 16, 1, @VacancyId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.Applicant (VacancyId, FullName, Email, AppliedOn)
        VALUES (@VacancyId, @FullName, @Email, @AppliedOn);
        SET @ApplicantId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_ShortlistApplicant | 2017-07-15 12:34:48
CREATE PROCEDURE dbo.usp_ShortlistApplicant
    @ApplicantId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Applicant
           SET Stage = 'SHORTLIST'
         WHERE ApplicantId = @ApplicantId AND Stage IN ('APPLIED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Applicant %d is not APPLIED; it cannot move to SHORTLIST.', 16, 1, @ApplicantId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_InviteToInterview | 2014-05-12 11:38:49
CREATE PROCEDURE dbo.usp_InviteToInterview
    @ApplicantId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Applicant
           SET Stage = 'INTERVIEW'
         WHERE ApplicantId = @ApplicantId AND Stage IN ('SHORTLIST');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Applicant %d is not SHORTLIST; it cannot move to INTERVIEW.', 16, 1, @ApplicantId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_MakeOffer | 2014-05-12 12:02:50
CREATE PROCEDURE dbo.usp_MakeOffer
    @ApplicantId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Applicant
           SET Stage = 'OFFERED'
         WHERE ApplicantId = @ApplicantId AND Stage IN ('INTERVIEW');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Applicant %d is not INTERVIEW; it cannot move to OFFERED.', 16, 1, @ApplicantId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_DeclineApplicant | 2017-09-08 17:26:44
CREATE PROCEDURE dbo.usp_DeclineApplicant
    @ApplicantId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Applicant
           SET Stage = 'DECLINED'
         WHERE ApplicantId = @ApplicantId AND Stage IN ('APPLIED', 'SHORTLIST');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Applicant %d is not APPLIED or SHORTLIST; it cannot move to DECLINED.', 16, 1, @ApplicantId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_ApplicantsPerVacancy | 2014-05-12 12:50:29
CREATE VIEW dbo.vw_ApplicantsPerVacancy
WITH SCHEMABINDING
AS
SELECT v.VacancyId, v.Title,
       COUNT_BIG(*) AS Applicants,
       MIN(a.AppliedOn) AS FirstAppliedOn, MAX(a.AppliedOn) AS LastAppliedOn
  FROM dbo.Applicant AS a
  JOIN dbo.Vacancy AS v ON v.VacancyId = a.VacancyId
 GROUP BY v.VacancyId, v.Title;

-- @object Stored Procedure | usp_FindApplicants | 2014-05-12 13:07:39
CREATE PROCEDURE dbo.usp_FindApplicants
    @VacancyId int = NULL,
    @FullNameLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Stage varchar(10) = NULL,
    @Page     int = 1,
    @PageSize int = 50
AS
BEGIN
    SET NOCOUNT ON;
    SELECT a.ApplicantId, a.VacancyId, a.FullName, a.Email, a.AppliedOn, v.Title
      FROM dbo.Applicant AS a
      JOIN dbo.Vacancy AS v ON v.VacancyId = a.VacancyId
     WHERE (@VacancyId IS NULL OR a.VacancyId = @VacancyId)
       AND (@FullNameLike IS NULL OR a.FullName LIKE @FullNameLike + N'%')
       AND (@From IS NULL OR a.AppliedOn >= @From)
       AND (@To IS NULL OR a.AppliedOn < DATEADD(day, 1, @To))
       AND (@Stage IS NULL OR a.Stage = @Stage)
     ORDER BY a.AppliedOn DESC
    OFFSET (@Page - 1) * @PageSize ROWS FETCH NEXT @PageSize ROWS ONLY;
END;

-- @object Stored Procedure | usp_PurgeOldApplicants | 2018-02-28 14:12:39
CREATE PROCEDURE dbo.usp_PurgeOldApplicants
    @KeepMonths int = 24,
    @BatchSize  int = 5000
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Cutoff date = DATEADD(month, -@KeepMonths, CONVERT(date, GETDATE()));
    DECLARE @Deleted int = 1, @Total int = 0;
    WHILE @Deleted > 0
    BEGIN
        BEGIN TRANSACTION;
            DELETE TOP (@BatchSize) FROM dbo.Applicant
             WHERE AppliedOn < @Cutoff AND Stage IN ('DECLINED', 'OFFERED');
            SET @Deleted = @@ROWCOUNT;
        COMMIT TRANSACTION;
        SET @Total += @Deleted;
        CHECKPOINT;
    END;
    PRINT CONCAT(@Total, N' applicant rows removed.');
END;

-- @object User Defined Function | fn_Shortlist | 2014-05-12 13:16:52
CREATE FUNCTION dbo.fn_Shortlist (@VacancyId int)
RETURNS TABLE
AS
RETURN
    SELECT a.ApplicantId, a.VacancyId, a.FullName, a.Email, a.AppliedOn
      FROM dbo.Applicant AS a
     WHERE a.VacancyId = @VacancyId
       AND a.Stage <> 'DECLINED';

-- @object Stored Procedure | usp_RecruitmentFunnel | 2017-03-22 15:49:39
CREATE PROCEDURE dbo.usp_RecruitmentFunnel
    @From date,
    @To   date,
    @AtLeast int = 1
AS
BEGIN
    SET NOCOUNT ON;
    SELECT v.Title,
           COUNT(*) AS Applicants,
           SUM(CASE WHEN a.Stage = 'DECLINED' THEN 1 ELSE 0 END) AS Declined
      FROM dbo.Applicant AS a
      JOIN dbo.Vacancy AS v ON v.VacancyId = a.VacancyId
     WHERE a.AppliedOn >= @From AND a.AppliedOn < DATEADD(day, 1, @To)
     GROUP BY v.Title
     HAVING COUNT(*) >= @AtLeast
     ORDER BY Applicants DESC;
END;

-- @object User Table | Timesheet | 2015-10-05 08:00:21
CREATE TABLE dbo.Timesheet (
    TimesheetId  int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Timesheet PRIMARY KEY,
    EmployeeId   int           NOT NULL CONSTRAINT FK_Timesheet_Employee REFERENCES dbo.Employee (EmployeeId),
    WeekStarting date          NOT NULL,
    Hours        decimal(5, 2) NOT NULL CONSTRAINT DF_Timesheet_Hours DEFAULT (0),
    State        char(1)       NOT NULL CONSTRAINT DF_Timesheet_State DEFAULT ('O')
                     CONSTRAINT CK_Timesheet_State CHECK (State IN ('O', 'S', 'A', 'R')),
    CONSTRAINT UQ_Timesheet_Week UNIQUE (EmployeeId, WeekStarting)
);

-- @object Stored Procedure | usp_OpenTimesheet | 2016-06-22 10:32:36
CREATE PROCEDURE dbo.usp_OpenTimesheet
    @EmployeeId   int,
    @WeekStarting date,
    @TimesheetId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Employee WHERE EmployeeId = @EmployeeId)
    BEGIN
        RAISERROR(N'Employee %d does not exist.', 16, 1, @EmployeeId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.Timesheet (EmployeeId, WeekStarting)
            VALUES (@EmployeeId, @WeekStarting);
            SET @TimesheetId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_SubmitTimesheet | 2015-10-05 08:52:44
CREATE PROCEDURE dbo.usp_SubmitTimesheet
    @TimesheetId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Timesheet
           SET State = 'S'
         WHERE TimesheetId = @TimesheetId AND State IN ('O');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Timesheet %d is not O; it cannot move to S.', 16, 1, @TimesheetId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_ApproveTimesheet | 2015-10-05 09:26:58
CREATE PROCEDURE dbo.usp_ApproveTimesheet
    @TimesheetId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Timesheet
           SET State = 'A'
         WHERE TimesheetId = @TimesheetId AND State IN ('S');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Timesheet %d is not S; it cannot move to A.', 16, 1, @TimesheetId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_ReturnTimesheet | 2018-04-16 14:49:38
CREATE PROCEDURE dbo.usp_ReturnTimesheet
    @TimesheetId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Timesheet
           SET State = 'R'
         WHERE TimesheetId = @TimesheetId AND State IN ('S');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Timesheet %d is not S; it cannot move to R.', 16, 1, @TimesheetId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_TimesheetsToApprove | 2018-12-07 12:05:00
CREATE VIEW dbo.vw_TimesheetsToApprove
AS
SELECT t.TimesheetId,
       e.FamilyName AS EmployeeFamilyName,
       t.EmployeeId,
       t.WeekStarting,
       t.Hours,
       t.State
  FROM dbo.Timesheet AS t
  JOIN dbo.Employee AS e ON e.EmployeeId = t.EmployeeId
 WHERE t.State IN ('O', 'S');

-- @object View | vw_HoursByEmployee | 2015-10-05 10:39:36
CREATE VIEW dbo.vw_HoursByEmployee
WITH SCHEMABINDING
AS
SELECT e.EmployeeId, e.FamilyName,
       COUNT_BIG(*) AS Timesheets,
       SUM(ISNULL(t.Hours, 0)) AS TotalHours,
       MIN(t.WeekStarting) AS FirstWeekStarting, MAX(t.WeekStarting) AS LastWeekStarting
  FROM dbo.Timesheet AS t
  JOIN dbo.Employee AS e ON e.EmployeeId = t.EmployeeId
 GROUP BY e.EmployeeId, e.FamilyName;

-- @object Stored Procedure | usp_HoursReport | 2017-06-28 15:45:05
CREATE PROCEDURE dbo.usp_HoursReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT e.FamilyName,
           COUNT(*) AS Timesheets,
           SUM(t.Hours) AS TotalHours,
           MAX(t.Hours) AS LargestHours,
           SUM(CASE WHEN t.State = 'R' THEN 1 ELSE 0 END) AS R
      FROM dbo.Timesheet AS t
      JOIN dbo.Employee AS e ON e.EmployeeId = t.EmployeeId
     WHERE t.WeekStarting >= @From AND t.WeekStarting < DATEADD(day, 1, @To)
     GROUP BY e.FamilyName
     ORDER BY TotalHours DESC;
END;

-- @object User Defined Function | fn_HoursWorked | 2015-10-05 11:15:13
CREATE FUNCTION dbo.fn_HoursWorked (@EmployeeId int, @AsAt date)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Hours), 0) FROM dbo.Timesheet WHERE EmployeeId = @EmployeeId AND State <> 'R' AND WeekStarting <= @AsAt);
END;

-- @object User Table | TimesheetEntry | 2015-10-05 08:03:21
CREATE TABLE dbo.TimesheetEntry (
    EntryId      int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_TimesheetEntry PRIMARY KEY,
    TimesheetId  int           NOT NULL CONSTRAINT FK_TimesheetEntry_Timesheet REFERENCES dbo.Timesheet (TimesheetId) ON DELETE CASCADE,
    WorkedOn     date          NOT NULL,
    Hours        decimal(4, 2) NOT NULL CONSTRAINT CK_TimesheetEntry_Hours CHECK (Hours > 0 AND Hours <= 16),
    CostCentre   char(4)       NOT NULL
);

-- @object Stored Procedure | usp_AddTimesheetEntry | 2015-10-05 08:16:34
CREATE PROCEDURE dbo.usp_AddTimesheetEntry
    @TimesheetId int,
    @WorkedOn    date,
    @Hours       decimal(4, 2),
    @CostCentre  char(4),
    @EntryId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Timesheet WHERE TimesheetId = @TimesheetId)
    BEGIN
        RAISERROR(N'Timesheet %d does not exist.', 16, 1, @TimesheetId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.TimesheetEntry (TimesheetId, WorkedOn, Hours, CostCentre)
        VALUES (@TimesheetId, @WorkedOn, @Hours, @CostCentre);
        SET @EntryId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Trigger | tr_TimesheetEntry_Hours | 2017-06-01 13:33:32
CREATE TRIGGER dbo.tr_TimesheetEntry_Hours ON dbo.TimesheetEntry
AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    -- keep the timesheet total in step with its lines
    UPDATE p SET Hours = ISNULL((SELECT SUM(x.Hours) FROM dbo.TimesheetEntry AS x WHERE x.TimesheetId = p.TimesheetId), 0)
      FROM dbo.Timesheet AS p
     WHERE p.TimesheetId IN (SELECT TimesheetId FROM inserted UNION SELECT TimesheetId FROM deleted);
END;

-- @object User Defined Function | fn_TimesheetDays | 2015-10-05 08:56:12
CREATE FUNCTION dbo.fn_TimesheetDays (@TimesheetId int)
RETURNS TABLE
AS
RETURN
    SELECT te.EntryId, te.TimesheetId, te.WorkedOn, te.Hours, te.CostCentre
      FROM dbo.TimesheetEntry AS te
     WHERE te.TimesheetId = @TimesheetId;

-- @object User Defined Function | fn_WeeklyHours | 2016-10-26 09:08:22
CREATE FUNCTION dbo.fn_WeeklyHours (@From date, @To date)
RETURNS @Result TABLE (
    Week      date NOT NULL PRIMARY KEY,
    TimesheetEntries int  NOT NULL,
    Total     decimal(4, 2) NULL
)
AS
BEGIN
    DECLARE @Week date = DATEADD(day, 1 - DATEPART(weekday, @From), @From);
    WHILE @Week <= @To
    BEGIN
        INSERT INTO @Result (Week, TimesheetEntries, Total)
        SELECT @Week, COUNT(*), SUM(te.Hours)
          FROM dbo.TimesheetEntry AS te
         WHERE te.WorkedOn >= @Week AND te.WorkedOn < DATEADD(day, 7, @Week);
        SET @Week = DATEADD(day, 7, @Week);
    END;
    RETURN;
END;

-- @object User Table | SicknessAbsence | 2012-11-26 14:40:19
CREATE TABLE dbo.SicknessAbsence (
    AbsenceId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_SicknessAbsence PRIMARY KEY,
    EmployeeId   int           NOT NULL CONSTRAINT FK_SicknessAbsence_Employee REFERENCES dbo.Employee (EmployeeId),
    FirstDay     date          NOT NULL,
    LastDay      date          NULL,
    DaysLost     decimal(4, 1) NOT NULL CONSTRAINT DF_SicknessAbsence_DaysLost DEFAULT (0),
    Reason       nvarchar(100) NULL,
    FitNote      bit           NOT NULL CONSTRAINT DF_SicknessAbsence_FitNote DEFAULT (0),
    CONSTRAINT CK_SicknessAbsence_Days CHECK (LastDay IS NULL OR LastDay >= FirstDay)
);

-- @object Stored Procedure | usp_RecordSickness | 2012-11-26 14:51:20
CREATE PROCEDURE dbo.usp_RecordSickness
    @EmployeeId int,
    @FirstDay   date,
    @LastDay    date,
    @Reason     nvarchar(100),
    @AbsenceId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Employee WHERE EmployeeId = @EmployeeId)
    BEGIN
        RAISERROR(N'Employee %d does not exist.', 16, 1, @EmployeeId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.SicknessAbsence (EmployeeId, FirstDay, LastDay, Reason)
            VALUES (@EmployeeId, @FirstDay, @LastDay, @Reason);
            SET @AbsenceId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object View | vw_AbsenceByEmployee | 2013-04-22 15:00:53
CREATE VIEW dbo.vw_AbsenceByEmployee
WITH SCHEMABINDING
AS
SELECT e.EmployeeId, e.FamilyName,
       COUNT_BIG(*) AS SicknessAbsences,
       SUM(ISNULL(sa.DaysLost, 0)) AS TotalDaysLost,
       MIN(sa.FirstDay) AS FirstFirstDay, MAX(sa.FirstDay) AS LastFirstDay
  FROM dbo.SicknessAbsence AS sa
  JOIN dbo.Employee AS e ON e.EmployeeId = sa.EmployeeId
 GROUP BY e.EmployeeId, e.FamilyName;

-- @object View | vw_AbsenceByMonth | 2012-11-26 15:23:24
CREATE VIEW dbo.vw_AbsenceByMonth
AS
SELECT YEAR(sa.FirstDay) AS [Year], MONTH(sa.FirstDay) AS [Month],
       COUNT(*) AS SicknessAbsences,
       SUM(sa.DaysLost) AS TotalDaysLost,
       AVG(sa.DaysLost) AS AverageDaysLost
  FROM dbo.SicknessAbsence AS sa
 GROUP BY YEAR(sa.FirstDay), MONTH(sa.FirstDay);

-- @object User Defined Function | fn_DaysLost | 2013-01-21 15:42:16
CREATE FUNCTION dbo.fn_DaysLost (@EmployeeId int, @AsAt date)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(DaysLost), 0) FROM dbo.SicknessAbsence WHERE EmployeeId = @EmployeeId AND FirstDay <= @AsAt);
END;

-- @object Stored Procedure | usp_BradfordReport | 2015-12-14 17:07:41
CREATE PROCEDURE dbo.usp_BradfordReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT e.FamilyName,
           COUNT(*) AS SicknessAbsences,
           SUM(sa.DaysLost) AS TotalDaysLost,
           MAX(sa.DaysLost) AS LargestDaysLost
      FROM dbo.SicknessAbsence AS sa
      JOIN dbo.Employee AS e ON e.EmployeeId = sa.EmployeeId
     WHERE sa.FirstDay >= @From AND sa.FirstDay < DATEADD(day, 1, @To)
     GROUP BY e.FamilyName
     ORDER BY TotalDaysLost DESC;
END;

-- @object Stored Procedure | usp_FindAbsences | 2012-11-26 16:34:46
CREATE PROCEDURE dbo.usp_FindAbsences
    @EmployeeId int = NULL,
    @ReasonLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Page     int = 1,
    @PageSize int = 50
AS
BEGIN
    SET NOCOUNT ON;
    SELECT sa.AbsenceId, sa.EmployeeId, sa.FirstDay, sa.LastDay, sa.DaysLost, e.FamilyName
      FROM dbo.SicknessAbsence AS sa
      JOIN dbo.Employee AS e ON e.EmployeeId = sa.EmployeeId
     WHERE (@EmployeeId IS NULL OR sa.EmployeeId = @EmployeeId)
       AND (@ReasonLike IS NULL OR sa.Reason LIKE @ReasonLike + N'%')
       AND (@From IS NULL OR sa.FirstDay >= @From)
       AND (@To IS NULL OR sa.FirstDay < DATEADD(day, 1, @To))
     ORDER BY sa.FirstDay DESC
    OFFSET (@Page - 1) * @PageSize ROWS FETCH NEXT @PageSize ROWS ONLY;
END;

-- @object User Table | PensionScheme | 2017-04-03 09:00:17
CREATE TABLE dbo.PensionScheme (
    SchemeId     tinyint       NOT NULL CONSTRAINT PK_PensionScheme PRIMARY KEY,
    Name         nvarchar(60)  NOT NULL,
    EmployerPct  decimal(4, 2) NOT NULL,
    EmployeePct  decimal(4, 2) NOT NULL,
    CONSTRAINT CK_PensionScheme_Rates CHECK (EmployerPct >= 3 AND EmployeePct >= 0)
);

-- @object User Table | PensionMember | 2017-04-03 09:02:35
CREATE TABLE dbo.PensionMember (
    MembershipId int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_PensionMember PRIMARY KEY,
    EmployeeId   int      NOT NULL CONSTRAINT FK_PensionMember_Employee REFERENCES dbo.Employee (EmployeeId),
    SchemeId     tinyint  NOT NULL CONSTRAINT FK_PensionMember_Scheme REFERENCES dbo.PensionScheme (SchemeId),
    JoinedOn     date     NOT NULL,
    State        char(2)  NOT NULL CONSTRAINT DF_PensionMember_State DEFAULT ('AE')
                 CONSTRAINT CK_PensionMember_State CHECK (State IN ('AE', 'VJ', 'OO'))
);

-- @object Stored Procedure | usp_EnrolInPension | 2017-04-03 09:23:11
CREATE PROCEDURE dbo.usp_EnrolInPension
    @EmployeeId int,
    @SchemeId   tinyint,
    @JoinedOn   date,
    @MembershipId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.PensionScheme WHERE SchemeId = @SchemeId)
    BEGIN
        RAISERROR(N'Pension scheme %d does not exist.', 16, 1, @SchemeId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.PensionMember (EmployeeId, SchemeId, JoinedOn)
        VALUES (@EmployeeId, @SchemeId, @JoinedOn);
        SET @MembershipId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_OptOutOfPension | 2017-04-03 09:57:04
CREATE PROCEDURE dbo.usp_OptOutOfPension
    @MembershipId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.PensionMember
           SET State = 'OO'
         WHERE MembershipId = @MembershipId AND State IN ('AE', 'VJ');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Pension member %d is not AE or VJ; it cannot move to OO.', 16, 1, @MembershipId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_PensionMembership | 2017-04-03 10:21:20
CREATE VIEW dbo.vw_PensionMembership
WITH SCHEMABINDING
AS
SELECT ps.SchemeId, ps.Name,
       COUNT_BIG(*) AS PensionMembers,
       MIN(pm.JoinedOn) AS FirstJoinedOn, MAX(pm.JoinedOn) AS LastJoinedOn
  FROM dbo.PensionMember AS pm
  JOIN dbo.PensionScheme AS ps ON ps.SchemeId = pm.SchemeId
 GROUP BY ps.SchemeId, ps.Name;

-- @object User Defined Function | fn_SchemeMembers | 2019-07-01 10:25:28
CREATE FUNCTION dbo.fn_SchemeMembers (@SchemeId tinyint)
RETURNS TABLE
AS
RETURN
    SELECT pm.MembershipId, pm.EmployeeId, pm.SchemeId, pm.JoinedOn, pm.State
      FROM dbo.PensionMember AS pm
     WHERE pm.SchemeId = @SchemeId
       AND pm.State <> 'OO';

-- @object Stored Procedure | usp_PensionEnrolmentReport | 2019-11-15 13:44:01
CREATE PROCEDURE dbo.usp_PensionEnrolmentReport
    @From date,
    @To   date,
    @AtLeast int = 1
AS
BEGIN
    SET NOCOUNT ON;
    SELECT ps.Name,
           COUNT(*) AS PensionMembers,
           SUM(CASE WHEN pm.State = 'OO' THEN 1 ELSE 0 END) AS Oo
      FROM dbo.PensionMember AS pm
      JOIN dbo.PensionScheme AS ps ON ps.SchemeId = pm.SchemeId
     WHERE pm.JoinedOn >= @From AND pm.JoinedOn < DATEADD(day, 1, @To)
     GROUP BY ps.Name
     HAVING COUNT(*) >= @AtLeast
     ORDER BY PensionMembers DESC;
END;

-- @object User Table | EquipmentLoan | 2019-03-11 15:15:04
CREATE TABLE dbo.EquipmentLoan (
    LoanId       int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_EquipmentLoan PRIMARY KEY,
    EmployeeId   int           NOT NULL CONSTRAINT FK_EquipmentLoan_Employee REFERENCES dbo.Employee (EmployeeId),
    AssetTag     varchar(12)   NOT NULL,
    Description  nvarchar(100) NOT NULL,
    IssuedOn     date          NOT NULL,
    State        char(1)       NOT NULL CONSTRAINT DF_EquipmentLoan_State DEFAULT ('I')
                     CONSTRAINT CK_EquipmentLoan_State CHECK (State IN ('I', 'R', 'L'))
);

-- @object Stored Procedure | usp_IssueEquipment | 2019-12-20 17:00:03
CREATE PROCEDURE dbo.usp_IssueEquipment
    @EmployeeId  int,
    @AssetTag    varchar(12),
    @Description nvarchar(100),
    @IssuedOn    date,
    @LoanId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Employee WHERE EmployeeId = @EmployeeId)
    BEGIN
        RAISERROR(N'Employee %d does not exist.', 16, 1, @EmployeeId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.EquipmentLoan (EmployeeId, AssetTag, Description, IssuedOn)
        VALUES (@EmployeeId, @AssetTag, @Description, @IssuedOn);
        SET @LoanId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_ReturnEquipment | 2019-03-11 16:04:57
CREATE PROCEDURE dbo.usp_ReturnEquipment
    @LoanId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.EquipmentLoan
           SET State = 'R'
         WHERE LoanId = @LoanId AND State IN ('I');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Equipment loan %d is not I; it cannot move to R.', 16, 1, @LoanId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_ReportEquipmentLost | 2019-12-20 17:00:25
CREATE PROCEDURE dbo.usp_ReportEquipmentLost
    @LoanId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.EquipmentLoan
           SET State = 'L'
         WHERE LoanId = @LoanId AND State IN ('I');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Equipment loan %d is not I; it cannot move to L.', 16, 1, @LoanId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_EquipmentOut | 2019-03-11 16:19:24
CREATE VIEW dbo.vw_EquipmentOut
AS
SELECT el.LoanId,
       e.FamilyName AS EmployeeFamilyName,
       el.EmployeeId,
       el.AssetTag,
       el.Description,
       el.IssuedOn,
       el.State
  FROM dbo.EquipmentLoan AS el
  JOIN dbo.Employee AS e ON e.EmployeeId = el.EmployeeId
 WHERE el.State IN ('I', 'R');

-- @object Stored Procedure | usp_FindEquipment | 2019-03-11 16:50:24
CREATE PROCEDURE dbo.usp_FindEquipment
    @EmployeeId int = NULL,
    @AssetTagLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @State varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT el.LoanId, el.EmployeeId, el.AssetTag, el.Description, el.IssuedOn, e.FamilyName
      FROM dbo.EquipmentLoan AS el
      JOIN dbo.Employee AS e ON e.EmployeeId = el.EmployeeId
     WHERE (@EmployeeId IS NULL OR el.EmployeeId = @EmployeeId)
       AND (@AssetTagLike IS NULL OR el.AssetTag LIKE @AssetTagLike + N'%')
       AND (@From IS NULL OR el.IssuedOn >= @From)
       AND (@To IS NULL OR el.IssuedOn < DATEADD(day, 1, @To))
       AND (@State IS NULL OR el.State = @State)
     ORDER BY el.IssuedOn DESC;
END;
